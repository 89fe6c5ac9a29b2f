// The maker's system-settings record, kept in an SQLite file in a table
// 系统管理 of one row. The service only ever reads it; the command line of
// the service sets it.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace mojian::service {

struct SettingsRecord {
    std::string version;   // field 0
    std::string download;  // field 2
    std::string contact;   // field 4
};

// What a new database starts with: the version the program expects, so a
// fresh service lets the program start.
SettingsRecord DefaultRecord(int port);

// Creates the file and its table if needed, seeding the record when the
// table is empty. False (with a reason) when the file cannot be made.
bool InitialiseDatabase(const std::string& path, const SettingsRecord& seed, std::string& error);

// Replaces the record. False (with a reason) for values an answer could not
// carry, or when the file cannot be written.
bool WriteRecord(const std::string& path, const SettingsRecord& record, std::string& error);

// A read-only view of the database for the serving threads: one fixed
// prepared SELECT, read afresh for every request so a changed record is seen
// at once. A file replaced whole (a new copy renamed over the old one) is
// opened anew on the next read; a record is only ever read whole, old or new.
class SettingsReader {
public:
    static std::unique_ptr<SettingsReader> Open(const std::string& path, std::string& error);
    ~SettingsReader();
    SettingsReader(const SettingsReader&) = delete;
    SettingsReader& operator=(const SettingsReader&) = delete;

    // The record, or nothing (with the reason in `error` when given).
    std::optional<SettingsRecord> Read(std::string* error = nullptr);

private:
    struct FileId {
        unsigned long long device = 0, inode = 0;
        bool operator==(const FileId&) const = default;
    };
    SettingsReader() = default;
    bool OpenFile(std::string& error);
    void CloseFile();

    std::mutex mutex_;
    std::string path_;
    FileId file_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
};

}  // namespace mojian::service
