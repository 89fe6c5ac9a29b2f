// The settings service as the program and as a hostile client see it: an
// in-process server on a free loopback port, spoken to with raw sockets so
// malformed and truncated requests can be sent as they are.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "base/File.h"
#include "base/Gbk.h"
#include "service/SettingsExchange.h"
#include "service/server/SettingsServer.h"
#include "service/server/SettingsStore.h"
#include "tests/TempFolder.h"

extern char** environ;

namespace mojian::service {
namespace {

using mojian::testing::TempFolder;

const SettingsRecord kRecord{"1.0", "http://127.0.0.1/下载", "http://127.0.0.1/联系"};

// Sends `request` as it is, then reads until the server closes or a few
// seconds pass; `halfClose` ends the sending side right after the request
// (the server then drops the connection unanswered).
std::string RawExchange(int port, const std::string& request, bool halfClose = false) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return "socket failed";
    timeval tv{3, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::size_t sent = 0;
        while (sent < request.size()) {
            const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        if (halfClose) shutdown(fd, SHUT_WR);
        char buf[4096];
        for (;;) {
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            answer.append(buf, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return answer;
}

std::string Post(const std::string& body, const std::string& path = std::string(kServicePath)) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string BodyOf(const std::string& response);

// Field 0 of the record in an answer, or a marker when there is none.
std::string VersionIn(const std::string& response) {
    const auto fields = ParseSettingsAnswer(BodyOf(response));
    return fields.empty() ? "<no record>" : fields[0];
}

int StatusOf(const std::string& response) {
    int status = 0;
    return std::sscanf(response.c_str(), "HTTP/1.1 %d", &status) == 1 ? status : 0;
}

std::string BodyOf(const std::string& response) {
    const std::size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : GbkToUtf8(response.substr(at + 4));
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = JoinPath(folder_.Utf8(), "settings.db");
        std::string error;
        ASSERT_TRUE(WriteRecord(db_, kRecord, error)) << error;
        reader_ = SettingsReader::Open(db_, error);
        ASSERT_TRUE(reader_) << error;
        StartServer({});
    }
    void TearDown() override { StopServer(); }

    void StartServer(const ServerLimits& limits) {
        server_ = std::make_unique<SettingsServer>(*reader_, limits);
        ASSERT_TRUE(server_->Bind("127.0.0.1", 0));
        port_ = server_->Port();
        thread_ = std::thread([this] { server_->Run(); });
    }
    void StopServer() {
        if (!server_) return;
        server_->Stop();
        thread_.join();
        server_.reset();
    }

    TempFolder folder_;
    std::string db_;
    std::unique_ptr<SettingsReader> reader_;
    std::unique_ptr<SettingsServer> server_;
    std::thread thread_;
    int port_ = 0;
};

TEST_F(ServiceTest, AnswersTheSettingsQueryWithTheRecordInGbk) {
    const std::string response = RawExchange(port_, Post(SettingsRequestBody()));
    ASSERT_EQ(StatusOf(response), 200) << response;
    EXPECT_NE(response.find("charset=gbk"), std::string::npos);
    EXPECT_NE(response.find("\xA4\xA4\xA5\xBC"), std::string::npos);  // いゼ in GBK on the wire
    EXPECT_EQ(ParseSettingsAnswer(BodyOf(response)),
              (std::vector<std::string>{"1.0", "", kRecord.download, "", kRecord.contact}));
}

TEST_F(ServiceTest, ChangedRecordIsSeenAtOnce) {
    std::string error;
    ASSERT_TRUE(WriteRecord(db_, {"1.1", "http://d", "http://c"}, error)) << error;
    EXPECT_EQ(ParseSettingsAnswer(BodyOf(RawExchange(port_, Post(SettingsRequestBody())))),
              (std::vector<std::string>{"1.1", "", "http://d", "", "http://c"}));
}

TEST_F(ServiceTest, EverythingElseGetsAnErrorAndNoRecord) {
    const std::string query = SettingsRequestBody();
    const std::string sqlOf = "zc=49&sql=";
    const struct {
        std::string request;
        int status;
    } cases[] = {
        {Post(sqlOf + EncodeField("delete from 系统管理")), 403},
        {Post(sqlOf + EncodeField("select * from 系统管理; drop table 系统管理")), 403},
        {Post(sqlOf + EncodeField("update 系统管理 set 版本='9'")), 403},
        {Post(sqlOf + EncodeField("select * from sqlite_master")), 403},
        {Post("zc=49&sql=select * from 系统管理"), 400},
        {Post("zc=49&sql=115A101AA108"), 400},
        {Post("zc=49&sql=115A1e2"), 400},
        {Post("zc=49&sql=99999999999"), 400},
        {Post(""), 400},
        {Post(query, "/asp/kwel/other.asp"), 404},
        {Post(query, "/asp/kwel/index.asp/../../etc/passwd"), 404},
        {"GET /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 405},
        {"PUT /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", 404},
        // Bodies far beyond any real query are refused before they are read.
        {"POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\nConnection: close\r\n\r\n" + query, 413},
        {"POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999999999999\r\nConnection: close\r\n\r\n", 400},
        {"POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nContent-Length: 6\r\nConnection: close\r\n\r\nzc=49", 400},
        {"POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\nConnection: close\r\n\r\n", 400},
        {"POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 1x\r\nConnection: close\r\n\r\n", 400},
        {"POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
         "zz\r\n",
         400},
    };
    for (const auto& c : cases) {
        const std::string response = RawExchange(port_, c.request);
        EXPECT_EQ(StatusOf(response), c.status) << c.request.substr(0, 120);
        EXPECT_EQ(response.find("\xA4\xA4\xA5\xBC"), std::string::npos) << c.request.substr(0, 120);
    }
    // Truncated and nonsense requests: nothing comes back with a record.
    for (const std::string& junk :
         {Post(query).substr(0, 40), Post(query).substr(0, Post(query).size() - 10), std::string("\r\n\r\n"),
          std::string("GARBAGE\x01\x02\xFF\r\n\r\n"), std::string(20000, 'A') + "\r\n\r\n",
          "POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nX: " + std::string(20000, 'b') + "\r\n\r\n"}) {
        EXPECT_EQ(RawExchange(port_, junk, true).find("\xA4\xA4\xA5\xBC"), std::string::npos);
    }
    std::string many = "POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 100; ++i) many += "X-" + std::to_string(i) + ": 1\r\n";
    many += "Content-Length: " + std::to_string(query.size()) + "\r\nConnection: close\r\n\r\n" + query;
    EXPECT_EQ(StatusOf(RawExchange(port_, many)), 431);

    // After all that the service still answers, and the record is unchanged.
    EXPECT_EQ(VersionIn(RawExchange(port_, Post(query))), "1.0");
    const auto record = reader_->Read();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->version, kRecord.version);
    EXPECT_EQ(record->contact, kRecord.contact);
}

TEST_F(ServiceTest, AnswersTheConnectivityProbe) {
    EXPECT_EQ(StatusOf(RawExchange(port_, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")), 200);
}

TEST_F(ServiceTest, ClientThatSendsNothingIsCutOffAndOthersAreServed) {
    StopServer();
    ServerLimits limits;
    limits.threads = 2;
    limits.readTimeoutSec = 1;
    limits.keepAliveTimeoutSec = 1;
    StartServer(limits);
    // Two silent connections hold both threads until their read times out.
    std::thread a([&] { RawExchange(port_, "POST /asp/kwel/index.asp HTTP/1.1\r\n", false); });
    std::thread b([&] { RawExchange(port_, "", false); });
    const std::string response = RawExchange(port_, Post(SettingsRequestBody()));
    a.join();
    b.join();
    EXPECT_EQ(StatusOf(response), 200);
}

TEST(SettingsStore, RefusesValuesAnAnswerCannotCarry) {
    TempFolder folder;
    const std::string db = JoinPath(folder.Utf8(), "s.db");
    std::string error;
    ASSERT_TRUE(InitialiseDatabase(db, DefaultRecord(18936), error)) << error;
    EXPECT_FALSE(WriteRecord(db, {"1.0い", "d", "c"}, error));
    EXPECT_FALSE(WriteRecord(db, {"1.0", "d\r\n", "c"}, error));
    auto reader = SettingsReader::Open(db, error);
    ASSERT_TRUE(reader) << error;
    const auto record = reader->Read();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->version, "1.0");  // the seed, untouched by the refused writes
    EXPECT_EQ(record->contact, "http://127.0.0.1:18936/contact");
    // Seeding again keeps a record that was set.
    ASSERT_TRUE(WriteRecord(db, {"2.0", "d", "c"}, error)) << error;
    ASSERT_TRUE(InitialiseDatabase(db, DefaultRecord(18936), error)) << error;
    EXPECT_EQ(reader->Read()->version, "2.0");
    EXPECT_FALSE(SettingsReader::Open(JoinPath(folder.Utf8(), "missing.db"), error));
}

// Many clients at once on loopback: every valid request is answered with
// the record, none is lost. Bounded in count; the figures are printed.
TEST_F(ServiceTest, LoadManyClientsAtOnce) {
    constexpr int kClients = 16, kRequests = 200;
    const std::string body = SettingsRequestBody();
    std::atomic<int> good{0}, bad{0};
    std::mutex firstFailureMutex;
    std::string firstFailure;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port_);
            client.set_keep_alive(c % 2 == 0);  // half reuse connections, half open one per request
            client.set_tcp_nodelay(true);
            client.set_connection_timeout(5, 0);
            client.set_read_timeout(5, 0);
            for (int i = 0; i < kRequests; ++i) {
                const auto res = client.Post(std::string(kServicePath), body, "application/x-www-form-urlencoded");
                const bool ok = res && res->status == 200 &&
                                ParseSettingsAnswer(GbkToUtf8(res->body)) ==
                                    std::vector<std::string>{"1.0", "", kRecord.download, "", kRecord.contact};
                (ok ? good : bad)++;
                if (!ok) {  // say how the first one failed, for a failure seen once in many runs
                    std::lock_guard<std::mutex> lock(firstFailureMutex);
                    if (firstFailure.empty())
                        firstFailure = res ? "status " + std::to_string(res->status) + ", body of " +
                                                 std::to_string(res->body.size()) + " bytes"
                                           : "no answer: " + httplib::to_string(res.error()) +
                                                 (c % 2 == 0 ? " (kept-alive connection)" : " (new connection)");
                }
            }
        });
    }
    for (auto& t : clients) t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ load     ] %d clients x %d requests: %d answered correctly, %d failed, %.2f s, %.0f requests/s\n",
                kClients, kRequests, good.load(), bad.load(), seconds, (good + bad) / seconds);
    EXPECT_EQ(good.load(), kClients * kRequests) << "first failure: " << firstFailure;
    EXPECT_EQ(bad.load(), 0);
}

// The real program: command-line record, then serving until SIGTERM.
TEST(ServiceProcess, SetsTheRecordThenServesItAndStopsOnSigterm) {
    TempFolder folder;
    const std::string db = JoinPath(folder.Utf8(), "p.db");
    const auto run = [&](std::vector<std::string> args, int* outFd) {
        args.insert(args.begin(), MOJIAN_SERVICE_EXE);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int pipeFds[2];
        EXPECT_EQ(pipe(pipeFds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, MOJIAN_SERVICE_EXE, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        *outFd = pipeFds[0];
        return pid;
    };
    const auto readAll = [](int fd) {
        std::string out;
        char buf[256];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
        close(fd);
        return out;
    };
    const auto exitCode = [](pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    int fd = -1;
    pid_t pid = run({"--db", db, "--set-record", "1.2", "http://d/", "http://c/"}, &fd);
    EXPECT_NE(readAll(fd).find("version: 1.2"), std::string::npos);
    EXPECT_EQ(exitCode(pid), 0);
    pid = run({"--db", db, "--set-record", "1.0い", "http://d/", "http://c/"}, &fd);
    readAll(fd);
    EXPECT_NE(exitCode(pid), 0);

    pid = run({"--db", db, "--port", "0", "--threads", "2"}, &fd);
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') line += c;
    int port = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "listening on http://127.0.0.1:%d/", &port), 1) << line;
    EXPECT_EQ(VersionIn(RawExchange(port, Post(SettingsRequestBody()))), "1.2");
    kill(pid, SIGTERM);
    EXPECT_EQ(exitCode(pid), 0);
    close(fd);
}

}  // namespace
}  // namespace mojian::service
