#include "service/server/HttpMessage.h"

#include <charconv>
#include <cstdio>

namespace mojian::service {

namespace {

bool IsTokenChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s) {
        if (!IsTokenChar(c)) return false;
    }
    return true;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::string_view TrimSpace(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Calls `each` for every comma-separated element of a header value.
template <class F>
void ForEachListItem(std::string_view value, F each) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        each(TrimSpace(value.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
}

// Blank lines before a request line are skipped: old clients send an extra
// CR LF after a POST body.
bool IsBlankByte(char c) { return c == '\r' || c == '\n'; }

}  // namespace

const std::string* HttpRequest::Header(std::string_view lowerName) const {
    for (const auto& [name, value] : headers) {
        if (name == lowerName) return &value;
    }
    return nullptr;
}

std::string HttpRequest::JoinedHeader(std::string_view lowerName) const {
    std::string joined;
    for (const auto& [name, value] : headers) {
        if (name != lowerName) continue;
        if (!joined.empty()) joined += ", ";
        joined += value;
    }
    return joined;
}

bool HttpRequest::WantsKeepAlive() const {
    bool close = false, keep = false;
    ForEachListItem(JoinedHeader("connection"), [&](std::string_view item) {
        close = close || EqualsIgnoringCase(item, "close");
        keep = keep || EqualsIgnoringCase(item, "keep-alive");
    });
    if (close) return false;
    return minorVersion >= 1 || keep;
}

RequestParser::Progress RequestParser::Fail(int status) {
    error_ = status;
    return Progress::Invalid;
}

RequestParser::Progress RequestParser::Parse(std::string_view received) {
    if (error_) return Progress::Invalid;
    if (headBytes_ == 0) {
        while (lead_ < received.size() && IsBlankByte(received[lead_])) ++lead_;
        if (scanned_ < lead_) scanned_ = lead_;
        // The head ends at the first empty line; lines end in CR LF or LF.
        std::size_t end = 0, i = scanned_;
        for (; i < received.size(); ++i) {
            if (received[i] != '\n') continue;
            if (i + 1 == received.size()) break;  // too soon to tell: look here again next time
            if (received[i + 1] == '\n') {
                end = i + 2;
                break;
            }
            if (received[i + 1] == '\r') {
                if (i + 2 == received.size()) break;
                if (received[i + 2] == '\n') {
                    end = i + 3;
                    break;
                }
            }
        }
        scanned_ = i;
        if (!end && received.size() <= limits_.maxHeadBytes) return Progress::NeedMore;
        if (!end || end > limits_.maxHeadBytes) {
            // Too long: the request line alone, or the headers.
            const std::size_t lineEnd = received.find('\n', lead_);
            return Fail(lineEnd == std::string_view::npos || lineEnd - lead_ > limits_.maxHeadBytes ? 414 : 431);
        }
        const Progress head = ParseHead(received.substr(lead_, end - lead_));
        if (head == Progress::Invalid) return head;
        headBytes_ = end;
    }
    if (received.size() < headBytes_ + bodyBytes_) return Progress::NeedMore;
    request_.body.assign(received.substr(headBytes_, bodyBytes_));
    return Progress::Complete;
}

RequestParser::Progress RequestParser::ParseHead(std::string_view head) {
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        const std::size_t lf = head.find('\n');
        std::string_view line = head.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) lines.push_back(line);
        head.remove_prefix(lf + 1);
    }
    if (lines.empty()) return Fail(400);
    for (const std::string_view line : lines) {
        for (const char c : line) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t') || u == 0x7F) return Fail(400);  // a stray CR, NUL or other control
        }
    }

    // METHOD SP target SP HTTP/1.x
    const std::string_view requestLine = lines[0];
    const std::size_t sp1 = requestLine.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : requestLine.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || requestLine.find(' ', sp2 + 1) != std::string_view::npos) return Fail(400);
    const std::string_view method = requestLine.substr(0, sp1);
    const std::string_view target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = requestLine.substr(sp2 + 1);
    if (!IsToken(method) || target.empty()) return Fail(400);
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' || version[5] < '0' ||
        version[5] > '9' || version[7] < '0' || version[7] > '9')
        return Fail(400);
    if (version[5] != '1' || version[7] > '1') return Fail(505);
    request_.method.assign(method);
    request_.target.assign(target);
    request_.minorVersion = version[7] - '0';

    // Origin form "/path?query"; the absolute form a proxy may send keeps
    // only its path.
    std::string_view path = target;
    if (path.substr(0, 7) == "http://" || path.substr(0, 8) == "https://") {
        const std::size_t slash = path.find('/', path.find("://") + 3);
        path = slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
    } else if (path.front() != '/' && path != "*") {
        return Fail(400);
    }
    request_.path.assign(path.substr(0, path.find('?')));

    std::size_t lengths = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        // Folded continuation lines are obsolete and a smuggling aid.
        if (line.front() == ' ' || line.front() == '\t') return Fail(400);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return Fail(400);
        if (request_.headers.size() == limits_.maxHeaders) return Fail(431);
        std::string name(line.substr(0, colon));
        for (char& c : name) c = Lower(c);
        const std::string_view value = TrimSpace(line.substr(colon + 1));
        if (name == "content-length") {
            ++lengths;
            // Digits only (no sign, no blanks, no list); nine are plenty.
            std::size_t n = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (value.empty() || value.size() > 9 || value.front() == '-' || value.front() == '+' || ec != std::errc() ||
                end != value.data() + value.size() || lengths > 1)
                return Fail(400);
            bodyBytes_ = n;
        } else if (name == "transfer-encoding") {
            return Fail(400);  // the program never sends one; a chunked body is no query of ours
        } else if (name == "expect") {
            expectContinue_ = EqualsIgnoringCase(value, "100-continue");
        }
        request_.headers.emplace_back(std::move(name), std::string(value));
    }
    if (bodyBytes_ > limits_.maxBody) return Fail(413);  // refused before any of it is read
    return Progress::NeedMore;
}

bool RequestParser::WaitsForContinue(std::string_view received) const {
    return headBytes_ != 0 && expectContinue_ && bodyBytes_ > 0 && received.size() == headBytes_;
}

bool RequestParser::NothingYet(std::string_view received) const {
    if (headBytes_ != 0) return false;
    for (const char c : received) {
        if (!IsBlankByte(c)) return false;
    }
    return true;
}

void RequestParser::Reset() {
    request_ = HttpRequest();
    lead_ = scanned_ = headBytes_ = bodyBytes_ = 0;
    expectContinue_ = false;
    error_ = 0;
}

std::string_view ReasonPhrase(int status) {
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
}

std::string HttpDate(std::time_t t) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    gmtime_r(&t, &tm);
    char out[40];
    std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday % 7], tm.tm_mday,
                  kMonths[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return out;
}

std::string SerializeResponse(const HttpResponse& response, bool headOnly, bool keepAlive, int minorVersion,
                              std::time_t now) {
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " ";
    out += ReasonPhrase(response.status);
    out += "\r\nDate: " + HttpDate(now);
    out += "\r\nContent-Type: " + response.contentType;
    out += "\r\nContent-Length: " + std::to_string(response.body.size());
    out += "\r\nCache-Control: no-store";  // every query must reach the service
    for (const auto& [name, value] : response.headers) out += "\r\n" + name + ": " + value;
    if (!keepAlive) out += "\r\nConnection: close";
    else if (minorVersion == 0) out += "\r\nConnection: keep-alive";
    out += "\r\n\r\n";
    if (!headOnly) out += response.body;
    return out;
}

}  // namespace mojian::service
