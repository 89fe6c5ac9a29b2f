// The settings service under abuse and load: slow and silent clients, one
// client taking too much, a crowd, a stop in the middle of it all. Clients
// come from many loopback addresses, as real ones come from many hosts.
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/service/ServiceFixture.h"

extern char** environ;

namespace mojian::service {
namespace {

using namespace std::chrono_literals;

// Polls until `done` holds; false when it still does not after `limit`.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// The head of the real query without its final blank line: a request that
// never finishes.
std::string HalfRequest() {
    const std::string q = QueryRequest(true);
    return q.substr(0, q.find("\r\n\r\n"));
}

// `count` connections spread over the addresses 127.0.0.first, first+1, ...
// `perAddress` at a time, each sending `bytes` and then nothing more.
std::vector<LoopbackSocket> Hold(int port, int count, int first, int perAddress, const std::string& bytes) {
    std::vector<LoopbackSocket> held;
    for (int i = 0; i < count; ++i) {
        LoopbackSocket s = ConnectLoopback(port, "127.0.0." + std::to_string(first + i / perAddress), 20000);
        EXPECT_TRUE(s) << i;
        if (!bytes.empty()) SendAll(s, bytes);
        held.push_back(std::move(s));
    }
    return held;
}

// Whether the service has closed this connection (or answered and closed).
bool ClosedByService(const LoopbackSocket& s) {
    pollfd p{s.fd(), POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

// Connections for a few hundred clients at once in one process.
void RaiseDescriptorLimit() {
    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = lim.rlim_max == RLIM_INFINITY ? 65536 : std::min<rlim_t>(lim.rlim_max, 65536);
    setrlimit(RLIMIT_NOFILE, &lim);
}

// `clients` clients at once, each from its own address 127.0.1.N, asking
// `each` queries, every other one on a kept connection. Counts answers that
// carry the record; says how the first failure failed.
struct Crowd {
    std::atomic<int> good{0}, bad{0};
    std::mutex mutex;
    std::string firstFailure;

    void Run(int port, int clients, int each) {
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([this, port, c, each] {
                const std::string from = "127.0.1." + std::to_string(c % 250 + 1);
                const bool keep = c % 2 == 0;
                LoopbackSocket s;
                std::string pending;
                for (int i = 0; i < each; ++i) {
                    std::string why;
                    if (!s) {
                        s = ConnectLoopback(port, from, 20000, &why);
                        pending.clear();
                    }
                    HttpAnswer a;
                    const bool ok = s && SendAll(s, QueryRequest(keep)) && ReadAnswer(s, a, pending, false, &why) &&
                                    CarriesRecord(a);
                    (ok ? good : bad)++;
                    if (!ok) {
                        std::lock_guard<std::mutex> lock(mutex);
                        if (firstFailure.empty()) firstFailure = a.status ? "status " + std::to_string(a.status) : why;
                    }
                    if (!keep || a.closes || !ok) s.Close();
                }
            });
        }
        for (auto& t : threads) t.join();
    }
};

// How long a slow client may take is the connection machine's to say (its
// own tests, in virtual time); here the loop carries out its deadlines.
TEST_F(ServiceTest, SlowAndSilentClientsHoldNoWorkerAndAreCutOff) {
    StopServer();
    ServerLimits limits;
    limits.threads = 1;
    limits.requestTimeout = 500ms;
    StartServer(limits);
    auto silent = Hold(port_, 20, 2, 20, "");
    auto half = Hold(port_, 20, 3, 20, HalfRequest());
    ASSERT_TRUE(WaitFor([&] { return server_->Stats().accepted == 40; }));
    // The one worker is free for a real query at once.
    EXPECT_EQ(VersionIn(Exchange(port_, Post(SettingsRequestBody()))), "1.0");

    // The silent ones are closed without a word; the half ones are told.
    for (const auto& s : silent) EXPECT_EQ(ReadUntilClosed(s), "");
    for (const auto& s : half) EXPECT_EQ(StatusOf(ReadUntilClosed(s)), 408);
    EXPECT_EQ(server_->Stats().timedOut, 40u);
}

TEST_F(ServiceTest, OneClientGetsItsShareOfConnectionsAndRequests) {
    StopServer();
    ServerLimits limits;
    limits.perClient.connectionsPerClient = 4;
    limits.perClient.requestBurst = 3;
    limits.perClient.requestsPerSecond = 0.01;  // nothing earned back while the test runs
    StartServer(limits);

    auto greedy = Hold(port_, 6, 2, 6, HalfRequest());
    ASSERT_TRUE(WaitFor([&] { return server_->Stats().accepted == 6; }));
    int held = 0;
    for (const auto& s : greedy) {
        if (!ClosedByService(s)) {
            ++held;
            continue;
        }
        const std::string refusal = ReadUntilClosed(s);
        EXPECT_TRUE(refusal.empty() || StatusOf(refusal) == 503) << refusal;
    }
    EXPECT_EQ(held, 4);
    EXPECT_EQ(server_->Stats().refusedOverClientCap, 2u);
    // Another client is not held back by it.
    EXPECT_EQ(VersionIn(Exchange(port_, Post(SettingsRequestBody()), "127.0.0.3")), "1.0");

    // Three requests at once, then 429 until the rate earns another.
    LoopbackSocket s = ConnectLoopback(port_, "127.0.0.5", 5000);
    std::string pending;
    for (int i = 0; i < 3; ++i) {
        HttpAnswer a;
        ASSERT_TRUE(SendAll(s, QueryRequest(true)) && ReadAnswer(s, a, pending));
        EXPECT_TRUE(CarriesRecord(a)) << i;
    }
    HttpAnswer slow;
    ASSERT_TRUE(SendAll(s, QueryRequest(true)) && ReadAnswer(s, slow, pending));
    EXPECT_EQ(slow.status, 429);
    EXPECT_TRUE(slow.Has("\r\nretry-after: 1"));
    EXPECT_TRUE(slow.closes);
    EXPECT_EQ(VersionIn(Exchange(port_, Post(SettingsRequestBody()), "127.0.0.6")), "1.0");
    EXPECT_EQ(server_->Stats().refusedOverRate, 1u);

    greedy.clear();
    s.Close();
    ASSERT_TRUE(WaitFor([&] { return server_->Stats().openConnections == 0; }));
    StopServer();
    EXPECT_TRUE(Logged("2 connections refused over a client's share, 1 requests over a client's rate"));
}

TEST_F(ServiceTest, ALoadBalancerIsOneAddressForManyClients) {
    StopServer();
    ServerLimits limits;
    limits.perClient.connectionsPerClient = 2;
    limits.perClient.requestBurst = 2;
    limits.perClient.requestsPerSecond = 0.01;
    limits.trustedProxies = {AddressRange::Parse("127.0.0.9").value()};
    StartServer(limits);

    // Its connections count only against the overall cap.
    auto pool = Hold(port_, 5, 9, 5, "");
    ASSERT_TRUE(WaitFor([&] { return server_->Stats().openConnections == 5; }));
    for (const auto& s : pool) EXPECT_FALSE(ClosedByService(s));
    pool.clear();

    const auto ask = [&](const std::string& from, const std::string& forwardedFor) {
        const std::string q = QueryRequest(false, "X-Forwarded-For: " + forwardedFor + "\r\n");
        return StatusOf(Exchange(port_, q, from));
    };
    // Requests count against the client it forwards for.
    EXPECT_EQ(ask("127.0.0.9", "198.51.100.7"), 200);
    EXPECT_EQ(ask("127.0.0.9", "203.0.113.1, 198.51.100.7"), 200);
    EXPECT_EQ(ask("127.0.0.9", "198.51.100.7"), 429);
    EXPECT_EQ(ask("127.0.0.9", "198.51.100.8"), 200);
    // Anyone else's X-Forwarded-For is its own word, and ignored.
    EXPECT_EQ(ask("127.0.0.10", "198.51.100.20"), 200);
    EXPECT_EQ(ask("127.0.0.10", "198.51.100.21"), 200);
    EXPECT_EQ(ask("127.0.0.10", "198.51.100.22"), 429);
}

TEST_F(ServiceTest, AtTheOverallCapNewcomersWaitAndAreServed) {
    StopServer();
    ServerLimits limits;
    limits.maxConnections = 40;
    limits.perClient.connectionsPerClient = 16;
    limits.requestTimeout = 400ms;  // the silent ones make room in waves
    StartServer(limits);
    auto silent = Hold(port_, 120, 20, 15, "");
    Crowd crowd;
    crowd.Run(port_, 10, 1);
    EXPECT_EQ(crowd.good.load(), 10) << crowd.firstFailure;
    const ServerStats stats = server_->Stats();
    EXPECT_LE(stats.peakConnections, 40u);
    EXPECT_GE(stats.capReached, 1u);
    EXPECT_EQ(stats.refusedOverClientCap, 0u);
}

// The load test: a few hundred connections that never finish their request,
// and two hundred clients of ten queries each at the same time, with the
// limits the service ships with.
TEST_F(ServiceTest, LoadTwoHundredClientsWhileHundredsHoldHalfRequests) {
    RaiseDescriptorLimit();
    constexpr int kHeld = 300, kClients = 200, kEach = 10;
    auto held = Hold(port_, kHeld, 30, 30, HalfRequest());
    ASSERT_TRUE(WaitFor([&] { return server_->Stats().openConnections == kHeld; }))
        << server_->Stats().openConnections << " of " << kHeld << " held";

    const auto start = std::chrono::steady_clock::now();
    Crowd crowd;
    crowd.Run(port_, kClients, kEach);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const ServerStats stats = server_->Stats();
    std::printf("[ load     ] %d half requests held; %d clients x %d queries: %d answered, %d lost, %.2f s, "
                "%.0f queries/s; at most %zu connections open\n",
                kHeld, kClients, kEach, crowd.good.load(), crowd.bad.load(), seconds, kClients * kEach / seconds,
                stats.peakConnections);
    EXPECT_EQ(crowd.good.load(), kClients * kEach) << "first failure: " << crowd.firstFailure;
    EXPECT_EQ(crowd.bad.load(), 0);
    EXPECT_LE(stats.peakConnections, limits_.maxConnections);
    EXPECT_EQ(stats.refusedOverClientCap, 0u);
    EXPECT_EQ(stats.refusedOverRate, 0u);
    for (const auto& s : held) EXPECT_FALSE(ClosedByService(s));  // still waiting, holding nobody up
}

// The same service through a client of another make, keeping connections
// alive the way it does.
TEST_F(ServiceTest, AnOrdinaryHttpClientGetsEveryAnswer) {
    StopServer();
    ServerLimits limits;
    limits.perClient.requestsPerSecond = 0;
    StartServer(limits);
    constexpr int kClients = 16, kRequests = 100;
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port_);
            client.set_keep_alive(c % 2 == 0);
            client.set_tcp_nodelay(true);  // it writes head and body apart
            client.set_connection_timeout(10, 0);
            client.set_read_timeout(10, 0);
            for (int i = 0; i < kRequests; ++i) {
                const auto res = client.Post(std::string(kServicePath), SettingsRequestBody(),
                                             "application/x-www-form-urlencoded");
                if (res && res->status == 200 &&
                    ParseSettingsAnswer(GbkToUtf8(res->body)) ==
                        std::vector<std::string>{"1.0", "", kRecord.download, "", kRecord.contact})
                    ++good;
            }
        });
    }
    for (auto& t : clients) t.join();
    EXPECT_EQ(good.load(), kClients * kRequests);
}

TEST_F(ServiceTest, StopFinishesTheRequestsInFlightAndRefusesNewOnes) {
    // One client halfway through its request, one idle on a kept connection.
    LoopbackSocket halfway = ConnectLoopback(port_, "", 5000);
    const std::string request = QueryRequest(true);
    const std::size_t split = request.size() - 20;
    ASSERT_TRUE(SendAll(halfway, request.substr(0, split)));
    LoopbackSocket idle = ConnectLoopback(port_, "", 5000);
    std::string pending;
    HttpAnswer a;
    ASSERT_TRUE(SendAll(idle, QueryRequest(true)) && ReadAnswer(idle, a, pending));
    ASSERT_TRUE(WaitFor([&] { return server_->Stats().openConnections == 2; }));

    server_->Stop();
    ASSERT_TRUE(WaitFor([&] { return !ConnectLoopback(port_, "", 1000); })) << "still accepting";
    EXPECT_EQ(ReadUntilClosed(idle), "");  // closed, nothing more to say

    ASSERT_TRUE(SendAll(halfway, request.substr(split)));
    pending.clear();
    ASSERT_TRUE(ReadAnswer(halfway, a, pending));
    EXPECT_TRUE(CarriesRecord(a));
    EXPECT_TRUE(a.closes);
    halfway.Close();
    AwaitStopped();  // Run returns once the last one is done
    EXPECT_TRUE(Logged("stopping: 1 requests in flight"));
}

// The real program: command-line record, then serving until SIGTERM.
class ServiceProcess : public ::testing::Test {
protected:
    // Starts the service with `args`; its standard output comes back through
    // `out`, its log goes to a file.
    pid_t Spawn(std::vector<std::string> args, int* out) {
        args.insert(args.begin(), MOJIAN_SERVICE_EXE);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, MOJIAN_SERVICE_EXE, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        *out = fds[0];
        return pid;
    }
    // Runs to its end: exit code and standard output.
    std::pair<int, std::string> RunToEnd(std::vector<std::string> args) {
        int fd = -1;
        const pid_t pid = Spawn(std::move(args), &fd);
        std::string out;
        char buf[256];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
        close(fd);
        return {ExitCode(pid), out};
    }
    static int ExitCode(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Log() const {
        std::ifstream in(log_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::size_t DescriptorsOf(pid_t pid) {
        std::error_code ec;
        const auto dir = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
        return ec ? 0 : static_cast<std::size_t>(std::distance(dir, std::filesystem::directory_iterator()));
    }
    static int ThreadsOf(pid_t pid) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
        }
        return -1;
    }

    TempFolder folder_;
    std::string db_ = JoinPath(folder_.Utf8(), "p.db");
    std::string log_ = JoinPath(folder_.Utf8(), "service.log");
};

TEST_F(ServiceProcess, KeepsItsRecordOnTheCommandLine) {
    // Showing a database that is not there neither works nor makes one.
    EXPECT_NE(RunToEnd({"--db", db_, "--show"}).first, 0);
    EXPECT_FALSE(ReadWholeFile(db_));
    const auto [setCode, setOut] = RunToEnd({"--db", db_, "--set-record", "1.2", "http://d/", "http://c/"});
    EXPECT_EQ(setCode, 0);
    EXPECT_NE(setOut.find("version: 1.2\ndownload: http://d/\ncontact: http://c/"), std::string::npos) << setOut;
    EXPECT_NE(RunToEnd({"--db", db_, "--set-record", "1.0い", "http://d/", "http://c/"}).first, 0);
    EXPECT_NE(RunToEnd({"--db", db_, "--show"}).second.find("version: 1.2"), std::string::npos);
    EXPECT_EQ(RunToEnd({"--db", db_, "--client-rate", "fast"}).first, 2);
    EXPECT_EQ(RunToEnd({"--db", db_, "--trusted-proxy", "10.0.0.0/40"}).first, 2);
}

TEST_F(ServiceProcess, ServesWithBoundedThreadsAndStopsCleanlyOnSigterm) {
    ASSERT_EQ(RunToEnd({"--db", db_, "--set-record", "1.2", "http://d/", "http://c/"}).first, 0);
    int fd = -1;
    const pid_t pid = Spawn({"--db", db_, "--port", "0", "--threads", "2", "--drain-timeout", "20"}, &fd);
    // A failed assertion returns early: the service must not outlive the test.
    struct Reaper {
        pid_t pid;
        bool reaped = false;
        ~Reaper() {
            if (!reaped) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
    } reaper{pid};
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') line += c;
    close(fd);
    int port = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "listening on http://127.0.0.1:%d/", &port), 1) << line << Log();
    const std::size_t descriptors = DescriptorsOf(pid);
    EXPECT_EQ(VersionIn(Exchange(port, Post(SettingsRequestBody()))), "1.2");
    ASSERT_TRUE(WaitFor([&] { return DescriptorsOf(pid) == descriptors; }));

    // A hundred requests that never finish, and the threads stay as they
    // were: the serving one, the signal waiter and two workers.
    {
        auto held = Hold(port, 100, 2, 25, HalfRequest());
        ASSERT_TRUE(WaitFor([&] { return DescriptorsOf(pid) == descriptors + 100; }));
        EXPECT_EQ(VersionIn(Exchange(port, Post(SettingsRequestBody()), "127.0.0.9")), "1.2");
        EXPECT_EQ(ThreadsOf(pid), 4);
    }

    // Then one request in flight when the stop comes.
    LoopbackSocket halfway = ConnectLoopback(port, "", 5000);
    const std::string request = QueryRequest(true);
    ASSERT_TRUE(SendAll(halfway, request.substr(0, 30)));
    ASSERT_TRUE(WaitFor([&] { return DescriptorsOf(pid) == descriptors + 1; }));
    kill(pid, SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return !ConnectLoopback(port, "", 1000); })) << "still accepting";
    ASSERT_TRUE(SendAll(halfway, request.substr(30)));
    std::string pending;
    HttpAnswer a;
    ASSERT_TRUE(ReadAnswer(halfway, a, pending));
    EXPECT_TRUE(CarriesRecord(a));
    EXPECT_TRUE(a.closes);
    halfway.Close();
    reaper.reaped = true;
    EXPECT_EQ(ExitCode(pid), 0);
    const std::string log = Log();
    EXPECT_NE(log.find("stopping: 1 requests in flight"), std::string::npos) << log;
    EXPECT_NE(log.find("stopped"), std::string::npos) << log;
}

}  // namespace
}  // namespace mojian::service
