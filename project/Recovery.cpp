#include "project/Recovery.h"

#include <algorithm>

#include "base/File.h"

namespace mojian::project {

namespace {

std::string SessionMarkPath(const std::string& folder) { return JoinPath(folder, "session.running"); }

}  // namespace

void RecoveryThrottle::Changed(std::int64_t nowMs) {
    if (pending_) return;
    pending_ = true;
    firstChangeMs_ = nowMs;
}

std::optional<std::int64_t> RecoveryThrottle::DueAt() const {
    if (!pending_) return std::nullopt;
    if (!lastTakenMs_) return firstChangeMs_;
    return std::max(firstChangeMs_, *lastTakenMs_ + kIntervalMs);
}

bool RecoveryThrottle::Due(std::int64_t nowMs) const {
    const auto due = DueAt();
    return due && nowMs >= *due;
}

void RecoveryThrottle::Taken(std::int64_t nowMs) {
    pending_ = false;
    lastTakenMs_ = nowMs;
}

std::string RecoveryFilePath(const std::string& folder) { return JoinPath(folder, "recovery.mojian"); }

std::string LastSessionFilePath(const std::string& folder) { return JoinPath(folder, "last-session.mojian"); }

SessionStart StartSession(const std::string& folder) {
    SessionStart start;
    start.folderReady = FolderExists(folder) || CreateFolder(folder);
    if (!start.folderReady) return start;
    start.previousEndedAbnormally = ReadWholeFile(SessionMarkPath(folder)).has_value();
    // The previous run's page moves aside before this run writes its own.
    if (const auto previous = ReadWholeFile(RecoveryFilePath(folder))) {
        start.previousLeftAPage = WriteWholeFile(LastSessionFilePath(folder), *previous);
        if (start.previousLeftAPage) RemoveFile(RecoveryFilePath(folder));
    }
    WriteWholeFile(SessionMarkPath(folder), "墨笺\r\n");
    return start;
}

void EndSession(const std::string& folder) { RemoveFile(SessionMarkPath(folder)); }

std::optional<ProjectError> WriteRecovery(const std::string& folder, const PageData& page) {
    return SaveProjectFile(RecoveryFilePath(folder), page);
}

ProjectRead LoadLastSession(const std::string& folder) { return LoadProjectFile(LastSessionFilePath(folder)); }

}  // namespace mojian::project
