// The project files used lately, newest first: what the 文件 menu lists as
// &1 to &5. Kept in the user's folder as UTF-8 text, one path a line,
// replaced whole on every change.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mojian::project {

class RecentFiles {
public:
    static constexpr std::size_t kMaxFiles = 5;

    // Lines of a list file; blank lines, repeats and lines beyond the fifth
    // are left out.
    static RecentFiles Parse(std::string_view text);
    std::string Serialize() const;

    const std::vector<std::string>& Paths() const { return paths_; }
    // Opened or saved just now: first in the list, once.
    void Use(std::string_view path);
    // Gone from the disk: off the list.
    void Forget(std::string_view path);

    friend bool operator==(const RecentFiles&, const RecentFiles&) = default;

private:
    std::vector<std::string> paths_;
};

// "recent.txt" in `folder`.
std::string RecentFilesPath(const std::string& folder);
// An empty list when there is no file yet or it cannot be read.
RecentFiles LoadRecentFiles(const std::string& folder);
bool SaveRecentFiles(const std::string& folder, const RecentFiles& files);

}  // namespace mojian::project
