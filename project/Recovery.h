// Recovery after a crash, the part that needs no window: when to write the
// page, where it goes, and whether the previous run ended normally. The
// window runs the writing on a worker thread, in %LOCALAPPDATA%\墨笺\.
//
// A run, in order:
//   1. after the single-instance gate: StartSession(folder). The previous
//      run's recovery file becomes the last session's page (what
//      "恢复上次的排版" opens, also after a normal exit); when the previous
//      run did not end normally and left a page, offer to restore it once
//      the window is shown (LoadLastSession).
//   2. on every change of the page: throttle.Changed(now); when Due(now),
//      throttle.Taken(now), take page.Snapshot() on the GUI thread and let
//      the worker WriteRecovery() it; else wake at DueAt(). A failed write
//      calls Changed(now) again, so it is tried again a second later.
//   3. at a normal exit: EndSession(folder).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "compose/PageData.h"
#include "project/ProjectFile.h"

namespace mojian::project {

// Writes at most once a second, and never later than a second after the
// change that made it wait. It has no clock: the caller says what time it is
// (milliseconds on any steady clock).
class RecoveryThrottle {
public:
    static constexpr std::int64_t kIntervalMs = 1000;

    void Changed(std::int64_t nowMs);
    // When the page waiting should be written; nothing when none waits.
    std::optional<std::int64_t> DueAt() const;
    bool Due(std::int64_t nowMs) const;
    // The page as at `nowMs` has been taken for writing.
    void Taken(std::int64_t nowMs);

private:
    bool pending_ = false;
    std::int64_t firstChangeMs_ = 0;              // the oldest change not yet taken
    std::optional<std::int64_t> lastTakenMs_;
};

std::string RecoveryFilePath(const std::string& folder);     // this run's page
std::string LastSessionFilePath(const std::string& folder);  // the previous run's page

struct SessionStart {
    bool folderReady = false;            // the folder exists or was made
    bool previousEndedAbnormally = false;
    // The previous run left a page, now the last session's page.
    bool previousLeftAPage = false;
};

// Marks this run as running, after noting whether the previous run's mark
// is still there (it ended without EndSession: a crash, a kill, power lost).
SessionStart StartSession(const std::string& folder);
// A normal exit: the mark goes; the recovery file stays for the next run.
void EndSession(const std::string& folder);

// Safe on a worker thread: it touches nothing but `page` and the file.
std::optional<ProjectError> WriteRecovery(const std::string& folder, const PageData& page);
ProjectRead LoadLastSession(const std::string& folder);

}  // namespace mojian::project
