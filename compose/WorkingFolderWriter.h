// The working folder's custom-source files follow the page from a thread of
// their own: the window hands over what changed and goes on. Files are
// written and removed in the order they were handed over, each replaced
// whole, so the folder always ends as the page's latest state says. One
// thread (the window's) hands the changes over.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "base/Worker.h"

namespace mojian {

struct FileChange {
    std::string path;
    std::optional<std::string> bytes;  // nothing: the file goes
};

class WorkingFolderWriter {
public:
    WorkingFolderWriter();
    // Finishes everything handed over, then stops.
    ~WorkingFolderWriter() = default;
    WorkingFolderWriter(const WorkingFolderWriter&) = delete;
    WorkingFolderWriter& operator=(const WorkingFolderWriter&) = delete;

    // Done after everything handed over before; returns at once.
    void Queue(std::vector<FileChange> changes);
    // Done after everything handed over before, and before this returns.
    // False when a file of these could not be written (no folder, no room).
    bool Write(std::vector<FileChange> changes);
    // Returns once everything handed over is done.
    void Flush();
    // Nothing handed over is still to be done.
    bool Idle();

private:
    // Whether the batch done last wrote every file: written by the worker's
    // thread before it counts the batch done, read once it has.
    std::atomic<bool> lastWritten_{true};
    Worker<std::vector<FileChange>> worker_;  // last: its thread uses everything above
};

}  // namespace mojian
