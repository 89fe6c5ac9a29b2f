#include "service/server/HttpMessage.h"

#include <gtest/gtest.h>

namespace mojian::service {
namespace {

using namespace std::string_literals;

constexpr std::string_view kQuery =
    "POST /asp/kwel/index.asp?x=1 HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\nConnection: Keep-Alive\r\n\r\nzc=49";

TEST(RequestParser, ARequestTricklingInByteByByteIsTheSameAsOneArrivingWhole) {
    RequestParser whole(RequestLimits{});
    ASSERT_EQ(whole.Parse(kQuery), RequestParser::Progress::Complete);

    RequestParser trickle(RequestLimits{});
    for (std::size_t n = 1; n < kQuery.size(); ++n)
        ASSERT_EQ(trickle.Parse(kQuery.substr(0, n)), RequestParser::Progress::NeedMore) << n;
    ASSERT_EQ(trickle.Parse(kQuery), RequestParser::Progress::Complete);

    for (const HttpRequest* r : {&whole.Request(), &trickle.Request()}) {
        EXPECT_EQ(r->method, "POST");
        EXPECT_EQ(r->target, "/asp/kwel/index.asp?x=1");
        EXPECT_EQ(r->path, "/asp/kwel/index.asp");
        EXPECT_EQ(r->body, "zc=49");
        ASSERT_NE(r->Header("host"), nullptr);
        EXPECT_EQ(*r->Header("host"), "a");
        EXPECT_TRUE(r->WantsKeepAlive());
    }
    EXPECT_EQ(trickle.RequestBytes(), kQuery.size());
}

TEST(RequestParser, TakesOneRequestAtATimeAndSkipsBlankLinesBeforeTheNext) {
    // Old clients put an extra CR LF after a POST body; bare LF line ends
    // are read too.
    const std::string two = std::string(kQuery) + "\r\nGET /healthz HTTP/1.0\n\n";
    RequestParser p(RequestLimits{});
    ASSERT_EQ(p.Parse(two), RequestParser::Progress::Complete);
    EXPECT_EQ(p.Request().body, "zc=49");
    const std::string rest = two.substr(p.RequestBytes());
    EXPECT_EQ(rest.substr(0, 2), "\r\n");
    p.Reset();
    ASSERT_EQ(p.Parse(rest), RequestParser::Progress::Complete);
    EXPECT_EQ(p.Request().method, "GET");
    EXPECT_EQ(p.Request().path, "/healthz");
    EXPECT_EQ(p.Request().minorVersion, 0);
    EXPECT_EQ(p.RequestBytes(), rest.size());
    EXPECT_FALSE(p.Request().WantsKeepAlive());  // HTTP/1.0 closes unless asked
}

TEST(RequestParser, RefusesWhatNoHonestClientSends) {
    const std::string longLine = "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n";
    const std::string longHeader = "GET / HTTP/1.1\r\nX: " + std::string(9000, 'b') + "\r\n\r\n";
    std::string manyHeaders = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 65; ++i) manyHeaders += "X-" + std::to_string(i) + ": 1\r\n";
    manyHeaders += "\r\n";
    const struct {
        std::string bytes;
        int status;
    } cases[] = {
        {"GET / HTTP/2.0\r\n\r\n", 505},
        {"GET / HTTP/1.1x\r\n\r\n", 400},
        {"GET  / HTTP/1.1\r\n\r\n", 400},
        {"GET /\r\n\r\n", 400},
        {"GET relative HTTP/1.1\r\n\r\n", 400},
        {"G(T / HTTP/1.1\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost : a\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nno colon\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nX: a\r\n folded\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nX: a\rb\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nX: a\0b\r\n\r\n"s, 400},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\nzc=49", 400},
        {"POST / HTTP/1.1\r\nContent-Length: +5\r\n\r\nzc=49", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 5 5\r\n\r\nzc=49", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 1234567890\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nzc=49\r\n0\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 4097\r\n\r\n", 413},
        {longLine, 414},
        {longHeader, 431},
        {manyHeaders, 431},
    };
    for (const auto& c : cases) {
        RequestParser p(RequestLimits{});
        EXPECT_EQ(p.Parse(c.bytes), RequestParser::Progress::Invalid) << c.bytes.substr(0, 60);
        EXPECT_EQ(p.ErrorStatus(), c.status) << c.bytes.substr(0, 60);
    }
    // A head too long is refused as soon as it passes the limit, not when
    // (if ever) it ends.
    RequestParser p(RequestLimits{});
    EXPECT_EQ(p.Parse(longHeader.substr(0, 8193)), RequestParser::Progress::Invalid);
}

TEST(RequestParser, KeepAliveAsEachVersionMeansIt) {
    const struct {
        const char* head;
        bool keep;
    } cases[] = {
        {"GET / HTTP/1.1\r\n\r\n", true},
        {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n", false},
        {"GET / HTTP/1.1\r\nConnection: TE, Close\r\n\r\n", false},
        {"GET / HTTP/1.0\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", true},
        {"GET / HTTP/1.0\r\nConnection: a\r\nConnection: Keep-Alive\r\n\r\n", true},
    };
    for (const auto& c : cases) {
        RequestParser p(RequestLimits{});
        ASSERT_EQ(p.Parse(c.head), RequestParser::Progress::Complete) << c.head;
        EXPECT_EQ(p.Request().WantsKeepAlive(), c.keep) << c.head;
    }
}

TEST(RequestParser, WaitsForContinueOnlyUntilTheBodyBegins) {
    const std::string head = "POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n";
    RequestParser p(RequestLimits{});
    EXPECT_FALSE(p.WaitsForContinue(head.substr(0, 20)));
    ASSERT_EQ(p.Parse(head), RequestParser::Progress::NeedMore);
    EXPECT_TRUE(p.WaitsForContinue(head));
    ASSERT_EQ(p.Parse(head + "zc"), RequestParser::Progress::NeedMore);
    EXPECT_FALSE(p.WaitsForContinue(head + "zc"));
    ASSERT_EQ(p.Parse(head + "zc=49"), RequestParser::Progress::Complete);

    RequestParser blank(RequestLimits{});
    EXPECT_TRUE(blank.NothingYet("\r\n"));
    EXPECT_FALSE(blank.NothingYet("\r\nG"));
}

TEST(SerializeResponse, HeadersForEveryCaseAndNoBodyForHead) {
    HttpResponse r;
    r.status = 429;
    r.body = "slow";
    r.headers.emplace_back("Retry-After", "1");
    const std::time_t t = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    EXPECT_EQ(SerializeResponse(r, false, false, 1, t),
              "HTTP/1.1 429 Too Many Requests\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
              "Content-Type: text/html; charset=gbk\r\nContent-Length: 4\r\nCache-Control: no-store\r\n"
              "Retry-After: 1\r\nConnection: close\r\n\r\nslow");
    const std::string head = SerializeResponse(r, true, true, 1, t);
    EXPECT_NE(head.find("Content-Length: 4\r\n"), std::string::npos);
    EXPECT_EQ(head.find("Connection:"), std::string::npos);  // kept, as HTTP/1.1 assumes
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
    EXPECT_NE(SerializeResponse(r, false, true, 0, t).find("Connection: keep-alive\r\n"), std::string::npos);
}

}  // namespace
}  // namespace mojian::service
