// The little HTTP/1.x the settings service speaks: requests read from the
// bytes a connection has received so far, answers written as bytes. No
// sockets here, so every malformed or hostile request can be tested alone.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mojian::service {

struct HttpRequest {
    std::string method;  // as sent, case-sensitive
    std::string target;  // as sent
    std::string path;    // the target without its query
    int minorVersion = 1;  // HTTP/1.0 or HTTP/1.1
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case, in order
    std::string body;

    // The first value of a header (name in lower case), or null.
    const std::string* Header(std::string_view lowerName) const;
    // Every value of a header, joined with ", " as HTTP allows.
    std::string JoinedHeader(std::string_view lowerName) const;
    // Whether the client wants the connection kept after the answer.
    bool WantsKeepAlive() const;
};

struct RequestLimits {
    std::size_t maxHeadBytes = 8192;  // request line and headers together
    std::size_t maxHeaders = 64;
    std::size_t maxBody = 4096;       // the real query is about 130 bytes
};

// Reads one request at a time out of a connection's received bytes. Parse()
// is called with the whole buffer each time more has arrived; it remembers
// how far it has looked, so a request trickling in byte by byte costs no more
// than one arriving at once.
class RequestParser {
public:
    enum class Progress { NeedMore, Complete, Invalid };

    explicit RequestParser(const RequestLimits& limits) : limits_(limits) {}

    Progress Parse(std::string_view received);

    // After Complete: the request, and how many leading bytes of the buffer it
    // took (the rest belongs to the next request).
    const HttpRequest& Request() const { return request_; }
    HttpRequest& Request() { return request_; }
    std::size_t RequestBytes() const { return headBytes_ + bodyBytes_; }

    // After Invalid: the status to answer with (400, 413, 414, 431, 505).
    int ErrorStatus() const { return error_; }

    // True once the head is in, the client waits for "100 Continue" before
    // sending its body, and none of the body has come yet.
    bool WaitsForContinue(std::string_view received) const;

    // True when nothing of a request has arrived yet (blank lines aside).
    bool NothingYet(std::string_view received) const;

    // Ready for the next request on the same connection.
    void Reset();

private:
    Progress Fail(int status);
    Progress ParseHead(std::string_view head);

    RequestLimits limits_;
    HttpRequest request_;
    std::size_t lead_ = 0;         // blank bytes before the request line
    std::size_t scanned_ = 0;      // where the search for the head's end resumes
    std::size_t headBytes_ = 0;    // 0 until the head is parsed
    std::size_t bodyBytes_ = 0;
    bool expectContinue_ = false;
    int error_ = 0;
};

struct HttpResponse {
    int status = 200;
    std::string body;  // bytes as sent
    std::string contentType = "text/html; charset=gbk";
    std::vector<std::pair<std::string, std::string>> headers;  // extra ones (Allow, Retry-After)
};

// The status line's reason phrase for the statuses this service sends.
std::string_view ReasonPhrase(int status);

// The answer as it goes on the wire. A HEAD request gets the headers alone;
// `keepAlive` says whether the connection stays open afterwards (HTTP/1.0
// clients are told so explicitly).
std::string SerializeResponse(const HttpResponse& response, bool headOnly, bool keepAlive, int minorVersion,
                              std::time_t now);

// An IMF-fixdate, "Sun, 06 Nov 1994 08:49:37 GMT".
std::string HttpDate(std::time_t t);

}  // namespace mojian::service
