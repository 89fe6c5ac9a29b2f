// The working folder's custom-source files follow the page from a thread of
// their own: the window hands over what changed and goes on. Files are
// written and removed in the order they were handed over, each replaced
// whole, so the folder always ends as the page's latest state says. One
// thread (the window's) hands the changes over.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace mojian {

struct FileChange {
    std::string path;
    std::optional<std::string> bytes;  // nothing: the file goes
};

class WorkingFolderWriter {
public:
    WorkingFolderWriter();
    // Finishes everything handed over, then stops.
    ~WorkingFolderWriter();
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
    struct Batch {
        std::vector<FileChange> changes;
        std::uint64_t serial = 0;
    };
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<Batch> batches_;
    std::uint64_t queued_ = 0;  // serial of the last batch handed over
    std::uint64_t finished_ = 0;
    bool lastWritten_ = true;   // whether the batch `finished_` wrote every file
    bool stopping_ = false;
    std::thread thread_;        // last: starts once everything above is ready
};

}  // namespace mojian
