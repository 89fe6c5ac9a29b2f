#include "project/RecentFiles.h"

#include <algorithm>

#include "base/File.h"

namespace mojian::project {

namespace {

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows names one file by several spellings: letters in either case and
// either slash.
bool SamePath(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] == '/' ? '\\' : FoldCase(a[i]);
        const char y = b[i] == '/' ? '\\' : FoldCase(b[i]);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

RecentFiles RecentFiles::Parse(std::string_view text) {
    RecentFiles files;
    while (!text.empty() && files.paths_.size() < kMaxFiles) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const bool seen = std::any_of(files.paths_.begin(), files.paths_.end(),
                                      [&](const std::string& p) { return SamePath(p, line); });
        if (!seen) files.paths_.emplace_back(line);
    }
    return files;
}

std::string RecentFiles::Serialize() const {
    std::string text;
    for (const std::string& path : paths_) text += path + "\r\n";
    return text;
}

void RecentFiles::Use(std::string_view path) {
    if (path.empty()) return;
    Forget(path);
    paths_.insert(paths_.begin(), std::string(path));
    if (paths_.size() > kMaxFiles) paths_.resize(kMaxFiles);
}

void RecentFiles::Forget(std::string_view path) {
    std::erase_if(paths_, [&](const std::string& p) { return SamePath(p, path); });
}

std::string RecentFilesPath(const std::string& folder) { return JoinPath(folder, "recent.txt"); }

RecentFiles LoadRecentFiles(const std::string& folder) {
    if (folder.empty()) return {};
    const auto text = ReadWholeFile(RecentFilesPath(folder));
    return text ? RecentFiles::Parse(*text) : RecentFiles{};
}

// Replaced whole, but without waiting for the disk: the list is a
// convenience, and a save or an open must not wait on it.
bool SaveRecentFiles(const std::string& folder, const RecentFiles& files) {
    return !folder.empty() && WriteWholeFile(RecentFilesPath(folder), files.Serialize(), Durability::Cached);
}

}  // namespace mojian::project
