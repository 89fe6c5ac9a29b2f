#include "service/server/SettingsStore.h"

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "service/SettingsExchange.h"

namespace mojian::service {

namespace {

constexpr const char* kCreate =
    "CREATE TABLE IF NOT EXISTS 系统管理 ("
    " 编号 INTEGER PRIMARY KEY CHECK (编号 = 1),"
    " 版本 TEXT NOT NULL,"
    " 下载地址 TEXT NOT NULL,"
    " 联系地址 TEXT NOT NULL)";
constexpr const char* kSeed = "INSERT OR IGNORE INTO 系统管理 VALUES (1, ?1, ?2, ?3)";
constexpr const char* kReplace = "INSERT OR REPLACE INTO 系统管理 VALUES (1, ?1, ?2, ?3)";
// Reads that fail for a reason other than a missing record are tried again.
constexpr int kReadAttempts = 3;
constexpr const char* kSelect = "SELECT 版本, 下载地址, 联系地址 FROM 系统管理 WHERE 编号 = 1";

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

Db OpenDb(const std::string& path, int flags, std::string& error) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        error = path + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), 2000);  // the command line may be writing just then
    return db;
}

bool Exec(sqlite3* db, const char* sql, std::string& error) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    error = sqlite3_errmsg(db);
    return false;
}

bool RunWithRecord(sqlite3* db, const char* sql, const SettingsRecord& r, std::string& error) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        return false;
    }
    Stmt stmt(raw);
    sqlite3_bind_text(raw, 1, r.version.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(raw, 2, r.download.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(raw, 3, r.contact.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(raw) != SQLITE_DONE) {
        error = sqlite3_errmsg(db);
        return false;
    }
    return true;
}

std::string Column(sqlite3_stmt* s, int i) {
    const auto* text = sqlite3_column_text(s, i);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(s, i)))
                : std::string();
}

}  // namespace

SettingsRecord DefaultRecord(int port) {
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    return {"1.0", base + "/download", base + "/contact"};
}

bool InitialiseDatabase(const std::string& path, const SettingsRecord& seed, std::string& error) {
    Db db = OpenDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
    return db && Exec(db.get(), kCreate, error) && RunWithRecord(db.get(), kSeed, seed, error);
}

bool WriteRecord(const std::string& path, const SettingsRecord& record, std::string& error) {
    for (const std::string* value : {&record.version, &record.download, &record.contact}) {
        if (!IsStorableFieldValue(*value)) {
            error = "cannot store \"" + *value + "\": it holds a separator, a control character or a character GBK lacks";
            return false;
        }
    }
    Db db = OpenDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
    return db && Exec(db.get(), kCreate, error) && RunWithRecord(db.get(), kReplace, record, error);
}

std::unique_ptr<SettingsReader> SettingsReader::Open(const std::string& path, std::string& error) {
    std::unique_ptr<SettingsReader> reader(new SettingsReader);
    reader->path_ = path;
    if (!reader->OpenFile(error)) return nullptr;
    return reader;
}

SettingsReader::~SettingsReader() { CloseFile(); }

namespace {

bool IdentifyFile(const std::string& path, unsigned long long& device, unsigned long long& inode) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    device = st.st_dev;
    inode = st.st_ino;
    return true;
}

}  // namespace

bool SettingsReader::OpenFile(std::string& error) {
    // Which file this is, taken before opening: should it be replaced in
    // between, the next read sees a different file and opens again.
    FileId id;
    if (!IdentifyFile(path_, id.device, id.inode)) {
        error = path_ + ": no such database";
        return false;
    }
    Db db = OpenDb(path_, SQLITE_OPEN_READONLY, error);
    if (!db) return false;
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v3(db.get(), kSelect, -1, SQLITE_PREPARE_PERSISTENT, &select, nullptr) != SQLITE_OK) {
        error = path_ + ": " + sqlite3_errmsg(db.get());
        return false;
    }
    CloseFile();
    db_ = db.release();
    select_ = select;
    file_ = id;
    return true;
}

void SettingsReader::CloseFile() {
    sqlite3_finalize(select_);
    sqlite3_close(db_);
    select_ = nullptr;
    db_ = nullptr;
}

std::optional<SettingsRecord> SettingsReader::Read(std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string why;
    FileId now;
    if (IdentifyFile(path_, now.device, now.inode) && !(now == file_)) {
        // Replaced: the new file once it can be opened, else the old one still.
        OpenFile(why);
    }
    std::optional<SettingsRecord> record;
    // A journal is found by the database's name, not its file: a connection
    // still on a file that was just replaced can take the new file's journal
    // for a hot one of its own and fail. Such failures pass once the reader is
    // on the file that now bears the name; a missing record is believed at once.
    for (int attempt = 0;; ++attempt) {
        const int rc = sqlite3_step(select_);
        if (rc == SQLITE_ROW) record = SettingsRecord{Column(select_, 0), Column(select_, 1), Column(select_, 2)};
        else why = rc == SQLITE_DONE ? path_ + ": the table holds no record" : path_ + ": " + sqlite3_errmsg(db_);
        sqlite3_reset(select_);
        if (record || rc == SQLITE_DONE || attempt == kReadAttempts - 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::string reopenError;
        OpenFile(reopenError);
    }
    if (!record && error) *error = why;
    return record;
}

}  // namespace mojian::service
