// One connection in virtual time: bytes arrive at chosen instants and each
// deadline comes when the machine asks, so every limit holds to the
// millisecond without waiting for any of it.
#include "service/server/ConnectionMachine.h"

#include <gtest/gtest.h>

#include <optional>

#include "service/server/SettingsRoutes.h"
#include "tests/service/LoopbackClient.h"

namespace mojian::service {
namespace {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;
using mojian::testing::QueryRequest;

struct Step {
    int ms;
    std::string bytes;  // empty: the peer closes
};

// A loop that writes everything at once (unless `stalled`: a client that
// never reads) and notes what happened when. Work waits for AnswerOne().
struct Harness {
    explicit Harness(const ConnectionLimits& limits = {})
        : clients({}), machine(limits, clients, [] { return std::time_t{0}; }),
          state(machine.Open(IpAddress::Parse("192.0.2.1").value(), true, now)) {
        Carry(machine.Opened(state));
    }
    void Carry(ConnectionActions a) {
        for (;;) {
            timedOut += a.timedOut;
            badRequests += a.badRequest;
            answered += a.answered;
            halfClosed = halfClosed || a.halfClose;
            if (a.work) work.push_back(std::move(*a.work));
            if (a.close) closedAt = Elapsed();
            deadline = a.deadline;
            if (a.close || !a.write || stalled) return;
            wire += state.out;
            answerTimes.resize(Answers().size(), static_cast<int>(Elapsed().count()));
            a = machine.Written(state, state.out.size(), now);
        }
    }
    // Deadlines due before `until` come in order; then the clock stands there.
    void RunTo(Ms until) {
        while (!closedAt && deadline < SteadyClock::time_point() + until) {
            now = deadline;
            Carry(machine.DeadlineCame(state, now));
        }
        now = std::max(now, SteadyClock::time_point() + until);
    }
    void Do(const Step& s) {
        RunTo(Ms(s.ms));
        if (!closedAt) Carry(s.bytes.empty() ? machine.PeerClosed(state) : machine.Received(state, s.bytes, now));
    }
    void AnswerOne() {
        const HttpRequest request = std::move(work.front());
        work.erase(work.begin());
        Carry(machine.Answered(state, AnswerRequest(request, [] { return SettingsRecord{"1.0", "d", "c"}; }), now));
    }
    Ms Elapsed() const { return std::chrono::duration_cast<Ms>(now.time_since_epoch()); }
    // The statuses on the wire, "!" where the answer ends the connection.
    std::vector<std::string> Answers() const {
        std::vector<std::string> out;
        for (std::size_t at = wire.find("HTTP/1."); at != std::string::npos; at = wire.find("HTTP/1.", at + 1)) {
            const std::string head = wire.substr(at, wire.find("\r\n\r\n", at) - at);
            out.push_back(head.substr(9, 3) + (head.find("Connection: close") != std::string::npos ? "!" : ""));
        }
        return out;
    }

    ClientTable clients;
    ConnectionMachine machine;
    SteadyClock::time_point now{};
    ConnectionState state;
    SteadyClock::time_point deadline;
    std::vector<HttpRequest> work;
    std::string wire;
    std::vector<int> answerTimes;
    std::optional<Ms> closedAt;
    bool halfClosed = false, stalled = false;
    int timedOut = 0, badRequests = 0, answered = 0;
};

// `bytes` one at a time, `gap` ms apart.
std::vector<Step> Trickle(const std::string& bytes, int gap) {
    std::vector<Step> steps;
    for (std::size_t i = 0; i < bytes.size(); ++i) steps.push_back({static_cast<int>(i) * gap, bytes.substr(i, 1)});
    return steps;
}

std::string Half(const std::string& request) { return request.substr(0, request.find("\r\n\r\n")); }

TEST(ConnectionMachine, TimeLimitsHoldWhateverPaceTheClientKeeps) {
    ConnectionLimits tight;
    tight.requestTimeout = 3s;
    tight.keepAliveTimeout = 1500ms;
    tight.writeTimeout = 700ms;
    tight.lingerTime = 250ms;
    const std::string close = QueryRequest(false), keep = QueryRequest(true);
    const int inTime = 20 * static_cast<int>(close.size() - 1);
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> answers;
        std::vector<int> answeredAt;  // ms
        int closedAt;                 // ms
        int timedOut;
        ConnectionLimits limits = {};
        bool stalled = false;
    } cases[] = {
        // A byte every tenth of a second never goes quiet, yet the whole
        // request is late: 408 at the request time, then the linger time.
        {"trickle", Trickle(close, 100), {"408!"}, {10000}, 12000, 1},
        {"trickle, tight limits", Trickle(close, 100), {"408!"}, {3000}, 3250, 1, tight},
        {"trickle in time", Trickle(close, 20), {"200!"}, {inTime}, inTime + 2000, 0},
        {"silent", {}, {}, {}, 10000, 1},
        {"half a request", {{300, Half(close)}}, {"408!"}, {10000}, 12000, 1},
        {"client closes halfway", {{0, Half(close)}, {700, ""}}, {}, {}, 700, 0},
        {"kept alive, then idle", {{0, keep}}, {"200"}, {0}, 5000, 0},
        {"kept alive, then idle, tight limits", {{0, keep}}, {"200"}, {0}, 1500, 0, tight},
        // The next request's time counts from the answer before it.
        {"kept alive, next one late", {{1000, keep}, {5900, Half(keep)}}, {"200", "408!"}, {1000, 11000}, 13000, 1},
        {"kept alive, next one in time", {{0, keep}, {4900, keep}}, {"200", "200"}, {0, 4900}, 9900, 0},
        {"client closes while lingering", {{0, close}, {500, ""}}, {"200!"}, {0}, 500, 0},
        // An answer the client never reads is given up, and not counted.
        {"answer never read", {{0, close}}, {}, {}, 700, 0, tight, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.limits);
        h.stalled = c.stalled;
        for (const Step& s : c.steps) {
            h.Do(s);
            while (!h.work.empty() && !h.closedAt) h.AnswerOne();
        }
        h.RunTo(1h);
        EXPECT_EQ(h.Answers(), c.answers);
        EXPECT_EQ(h.answerTimes, c.answeredAt);
        EXPECT_EQ(h.closedAt, Ms(c.closedAt));
        EXPECT_EQ(h.timedOut, c.timedOut);
        EXPECT_EQ(h.answered, static_cast<int>(c.answers.size()));
    }
}

TEST(ConnectionMachine, RefusesWhatIsTooLargeOrMalformedAndEndsTheConnection) {
    ConnectionLimits limits;
    limits.request.maxBody = 100;
    const auto post = [](std::size_t length, const std::string& extra = "") {
        return "POST /x HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(length) + "\r\n" + extra + "\r\n";
    };
    const struct {
        const char* name;
        std::string request;
        std::string answer;
    } cases[] = {
        {"body at the limit", post(100) + std::string(100, 'b'), "404"},
        // Refused before it is sent, so no 100 Continue first.
        {"body over the limit, client waiting", post(101, "Expect: 100-continue\r\n"), "413!"},
        {"head too large", post(1, "X: " + std::string(9000, 'h') + "\r\n"), "431!"},
        {"not HTTP", "GARBAGE\x01\xFF\r\n\r\n", "400!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(limits);
        h.Do({0, c.request});
        const bool refused = c.answer.back() == '!';
        EXPECT_EQ(h.work.size(), refused ? 0u : 1u);
        if (!refused) h.AnswerOne();
        EXPECT_EQ(h.Answers(), std::vector<std::string>{c.answer});
        EXPECT_EQ(h.badRequests, refused ? 1 : 0);
        EXPECT_EQ(h.halfClosed, refused);
    }
}

TEST(ConnectionMachine, AnswersRequestsSentTogetherInOrderOneWorkerAtATime) {
    const std::string three = QueryRequest(true) + "\r\nGET /healthz HTTP/1.0\r\nConnection: keep-alive\r\n\r\n" +
                              "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string query(kServicePath);
    const struct {
        std::size_t maxRequests;
        bool stopping;
        std::vector<std::string> paths, answers;
    } cases[] = {
        {100, false, {query, "/healthz", "/healthz"}, {"200", "200", "200"}},
        {2, false, {query, "/healthz"}, {"200", "200!"}},  // the second is the connection's last
        {100, true, {query}, {"200!"}},                    // a stopping service keeps no connection
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxRequests);
        ConnectionLimits limits;
        limits.maxRequestsPerConnection = c.maxRequests;
        Harness h(limits);
        if (c.stopping) h.machine.BeginStopping();
        h.Do({0, three});
        std::vector<std::string> paths;
        while (h.work.size() == 1) {
            paths.push_back(h.work[0].path);
            h.AnswerOne();
        }
        EXPECT_TRUE(h.work.empty());
        EXPECT_EQ(paths, c.paths);
        EXPECT_EQ(h.Answers(), c.answers);
    }
}

TEST(ConnectionMachine, SaysContinueOnceAndThenAnswers) {
    Harness h;
    const std::string request = QueryRequest(true, "Expect: 100-continue\r\n");
    const std::size_t headEnd = request.find("\r\n\r\n") + 4;
    h.Do({0, request.substr(0, headEnd)});
    h.Do({10, request.substr(headEnd, 3)});
    EXPECT_EQ(h.wire, "HTTP/1.1 100 Continue\r\n\r\n");
    h.Do({20, request.substr(headEnd + 3)});
    h.AnswerOne();
    EXPECT_EQ(h.Answers(), (std::vector<std::string>{"100", "200"}));
}

}  // namespace
}  // namespace mojian::service
