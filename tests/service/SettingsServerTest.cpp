// The settings service as the program and as a hostile client see it: an
// in-process server on a free loopback port, spoken to with raw sockets so
// malformed and truncated requests can be sent as they are.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <set>

#include "tests/service/ServiceFixture.h"

namespace mojian::service {
namespace {

std::vector<std::string> RecordFields(const SettingsRecord& r) { return {r.version, "", r.download, "", r.contact}; }

void RunSql(const std::string& db, const char* sql) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
    sqlite3_close(raw);
}

TEST_F(ServiceTest, AnswersTheSettingsQueryWithTheRecordInGbk) {
    const std::string response = Exchange(port_, Post(SettingsRequestBody()));
    ASSERT_EQ(StatusOf(response), 200) << response;
    EXPECT_NE(response.find("charset=gbk"), std::string::npos);
    EXPECT_NE(response.find("\xA4\xA4\xA5\xBC"), std::string::npos);  // いゼ in GBK on the wire
    EXPECT_EQ(ParseSettingsAnswer(BodyOf(response)), RecordFields(kRecord));
}

TEST_F(ServiceTest, ChangedRecordIsSeenAtOnceWhetherWrittenInPlaceOrCopiedOver) {
    std::string error;
    const SettingsRecord changed{"1.1", "http://d", "http://c"};
    ASSERT_TRUE(WriteRecord(db_, changed, error)) << error;
    EXPECT_EQ(ParseSettingsAnswer(BodyOf(Exchange(port_, Post(SettingsRequestBody())))), RecordFields(changed));

    // A new copy renamed over the old file, as rsync and `mv` do.
    const SettingsRecord copied{"1.2", "http://d2", "http://c2"};
    const std::string copy = JoinPath(folder_.Utf8(), "settings.db.new");
    ASSERT_TRUE(WriteRecord(copy, copied, error)) << error;
    ASSERT_EQ(std::rename(copy.c_str(), db_.c_str()), 0);
    EXPECT_EQ(ParseSettingsAnswer(BodyOf(Exchange(port_, Post(SettingsRequestBody())))), RecordFields(copied));
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
        {Get("/asp/kwel/index.asp"), 405},
        {"PUT /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", 405},
        {Get("/healthz", "POST"), 405},
        // Bodies far beyond any real query are refused before they are read;
        // the parser's and the connection's own tests have the other limits.
        {"POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\nConnection: close\r\n\r\n" + query, 413},
        {"POST /asp/kwel/index.asp HTTP/1.1\r\nHost: x\r\nX: " + std::string(20000, 'b') + "\r\n\r\n", 431},
        {"GARBAGE\x01\x02\xFF\r\n\r\n", 400},
    };
    for (const auto& c : cases) {
        const std::string response = Exchange(port_, c.request);
        EXPECT_EQ(StatusOf(response), c.status) << c.request.substr(0, 120);
        EXPECT_FALSE(HasRecord(response)) << c.request.substr(0, 120);
    }
    // Truncated requests the client gives up on get nothing at all.
    for (const std::string& junk : {Post(query).substr(0, 40), Post(query).substr(0, Post(query).size() - 10),
                                    std::string("\r\n\r\n")})
        EXPECT_EQ(Exchange(port_, junk, "", true), "") << junk;

    // After all that the service still answers, and the record is unchanged.
    EXPECT_EQ(VersionIn(Exchange(port_, Post(query))), "1.0");
    const auto record = reader_->Read();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->version, kRecord.version);
    EXPECT_EQ(record->contact, kRecord.contact);
}

TEST_F(ServiceTest, ProbeAndHealthAddressSayWhetherTheRecordCanBeRead) {
    EXPECT_EQ(StatusOf(Exchange(port_, Get("/"))), 200);
    const std::string healthy = Exchange(port_, Get("/healthz"));
    EXPECT_EQ(StatusOf(healthy), 200);
    EXPECT_EQ(BodyOf(healthy), "ok");
    // HEAD, as some load balancers ask: the headers alone.
    const std::string head = Exchange(port_, Get("/healthz", "HEAD"));
    EXPECT_EQ(StatusOf(head), 200);
    EXPECT_NE(head.find("Content-Length: 2\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(head), "");

    RunSql(db_, "DELETE FROM 系统管理");
    EXPECT_EQ(StatusOf(Exchange(port_, Get("/healthz"))), 503);
    const std::string query = Exchange(port_, Post(SettingsRequestBody()));
    EXPECT_EQ(StatusOf(query), 503);
    EXPECT_FALSE(HasRecord(query));
    EXPECT_TRUE(Logged("the record cannot be read"));

    std::string error;
    ASSERT_TRUE(WriteRecord(db_, kRecord, error)) << error;
    EXPECT_EQ(StatusOf(Exchange(port_, Get("/healthz"))), 200);
    EXPECT_TRUE(Logged("the record can be read"));
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

// The record rewritten in a loop, in place and by copies renamed over it,
// while clients query: every answer is one whole record, old or new.
TEST_F(ServiceTest, RecordChangedWhileServedIsNeverReadHalfWritten) {
    StopServer();
    ServerLimits limits;
    limits.perClient.requestsPerSecond = 0;  // the clients here ask as fast as they can
    StartServer(limits);
    const auto recordNumber = [](int n) {
        const std::string s = std::to_string(n);
        return SettingsRecord{"1." + s, "http://d/" + s + "/" + std::string(300, 'd'), "http://c/" + s};
    };
    std::string seedError;
    ASSERT_TRUE(WriteRecord(db_, recordNumber(0), seedError)) << seedError;
    std::atomic<bool> done{false}, writerFailed{false};
    std::atomic<int> writes{0};
    std::string writerError;
    std::thread writer([&] {
        const std::string copy = JoinPath(folder_.Utf8(), "copy.db");
        for (int n = 1; !done; ++n) {
            std::string error;
            const bool ok = n % 2 ? WriteRecord(db_, recordNumber(n), error)
                                  : WriteRecord(copy, recordNumber(n), error) && std::rename(copy.c_str(), db_.c_str()) == 0;
            if (!ok) {
                writerError = error.empty() ? "rename failed" : error;
                writerFailed = true;
                return;
            }
            ++writes;
        }
    });
    std::atomic<int> answers{0}, torn{0};
    std::mutex seenMutex;
    std::set<std::string> seen;
    std::string firstTorn;
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&] {
            LoopbackSocket s;
            std::string pending;
            // At least 150 queries each, and on until the record has changed
            // a few times under them.
            for (int i = 0; i < 150 || (writes < 10 && !writerFailed && i < 100000); ++i) {
                if (!s) {
                    s = ConnectLoopback(port_, "", 5000);
                    pending.clear();
                }
                HttpAnswer a;
                if (!SendAll(s, QueryRequest(true)) || !ReadAnswer(s, a, pending)) break;
                if (a.closes) s.Close();  // a connection serves so many requests, then the next one
                ++answers;
                const auto fields = ParseSettingsAnswer(GbkToUtf8(a.body));
                const std::string n = fields.empty() ? "?" : fields[0].substr(2);
                const bool whole = fields.size() == 5 && fields == RecordFields(recordNumber(std::atoi(n.c_str())));
                std::lock_guard<std::mutex> lock(seenMutex);
                seen.insert(n);
                if (!whole && torn++ == 0) firstTorn = std::to_string(a.status) + " " + GbkToUtf8(a.body);
            }
        });
    }
    for (auto& t : clients) t.join();
    done = true;
    writer.join();
    EXPECT_EQ(writerError, "");
    EXPECT_GE(answers.load(), 4 * 150);
    EXPECT_EQ(torn.load(), 0) << "first: " << firstTorn;
    EXPECT_GT(seen.size(), 1u) << "the record never changed under the clients (" << writes << " writes)";
    std::printf("[ record   ] %d answers across %d writes, %zu records seen, %d torn\n", answers.load(),
                writes.load(), seen.size(), torn.load());
}

}  // namespace
}  // namespace mojian::service
