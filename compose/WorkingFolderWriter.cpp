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

WorkingFolderWriter::WorkingFolderWriter()
    : worker_(Keep::All, AtStop::Finish, [this] {
          return [this](std::vector<FileChange>& changes, std::uint64_t) { lastWritten_ = Apply(changes); };
      }) {}

void WorkingFolderWriter::Queue(std::vector<FileChange> changes) {
    if (!changes.empty()) worker_.Hand(std::move(changes));
}

bool WorkingFolderWriter::Write(std::vector<FileChange> changes) {
    worker_.WaitFor(worker_.Hand(std::move(changes)));
    // Nothing was handed over while this waited (one thread hands over): the
    // last batch done is this one.
    return lastWritten_;
}

void WorkingFolderWriter::Flush() { worker_.Flush(); }

bool WorkingFolderWriter::Idle() { return worker_.Idle(); }

}  // namespace mojian
