#include "compose/WorkingFolderWriter.h"

#include <utility>

#include "base/File.h"

namespace mojian {

namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// False when a file could not be written; a file that cannot be removed
// stays, as the program's clean-up has always let it.
bool Apply(const std::vector<FileChange>& changes) {
    bool written = true;
    std::string readyFolder;
    for (const FileChange& change : changes) {
        const std::string folder = FolderOf(change.path);
        if (change.bytes) {
            if (folder != readyFolder && (FolderExists(folder) || CreateFolder(folder))) readyFolder = folder;
            // The page holds the text; the file can be written again any time,
            // so it need not wait for the disk.
            written = folder == readyFolder && WriteWholeFile(change.path, *change.bytes, Durability::Cached) && written;
        } else {
            RemoveFile(change.path);
        }
    }
    return written;
}

}  // namespace

WorkingFolderWriter::WorkingFolderWriter() : thread_([this] { Run(); }) {}

WorkingFolderWriter::~WorkingFolderWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void WorkingFolderWriter::Queue(std::vector<FileChange> changes) {
    if (changes.empty()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batches_.push_back({std::move(changes), ++queued_});
    }
    wake_.notify_one();
}

bool WorkingFolderWriter::Write(std::vector<FileChange> changes) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t serial = ++queued_;
    batches_.push_back({std::move(changes), serial});
    wake_.notify_one();
    done_.wait(lock, [&] { return finished_ >= serial; });
    // Nothing was handed over while this waited: the last batch done is this one.
    return lastWritten_;
}

void WorkingFolderWriter::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t serial = queued_;
    done_.wait(lock, [&] { return finished_ >= serial; });
}

bool WorkingFolderWriter::Idle() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_ == queued_;
}

void WorkingFolderWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return !batches_.empty() || stopping_; });
        if (batches_.empty()) break;  // stopping, and nothing is left
        Batch batch = std::move(batches_.front());
        batches_.pop_front();
        lock.unlock();
        const bool written = Apply(batch.changes);
        lock.lock();
        finished_ = batch.serial;
        lastWritten_ = written;
        done_.notify_all();
    }
}

}  // namespace mojian
