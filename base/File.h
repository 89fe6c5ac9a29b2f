// Whole-file reading and writing, folders, and the program folder. Paths are
// UTF-8 here; the Windows side turns them into wide-character paths, so
// Chinese file names work whatever the system's code page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mojian {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

std::string JoinPath(std::string_view folder, std::string_view name);

// The size of a regular file, or nothing when there is none.
std::optional<std::uint64_t> FileSize(const std::string& path);

// The file's bytes, or nothing when it is missing or cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Whether a write waits for the disk before it counts. The only copy of the
// user's work does; a file the program can write again from what it holds
// (the working folder's reflection of the page) need not make the user wait.
enum class Durability { Flushed, Cached };

// Creates or replaces the file in one piece: the bytes go to a temporary file
// in the same folder, which then takes the file's place, so a failed write
// never leaves half a file behind. False when it could not be written.
bool WriteWholeFile(const std::string& path, std::string_view bytes, Durability durability = Durability::Flushed);

// Creates the file only if no file of that name exists yet. False if it
// exists or cannot be written; `exists` tells the two apart.
bool WriteNewFile(const std::string& path, std::string_view bytes, bool& exists);

bool FolderExists(const std::string& path);

// One entry of a folder as the folder's listing gives it, without opening it.
struct FolderItem {
    std::string name;
    bool isFile = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // the last write, in the system's own units: for comparing only
};
// What the folder holds ("." and ".." left out); empty when it cannot be read.
std::vector<FolderItem> ListFolder(const std::string& folder);
bool CreateFolder(const std::string& path);
bool RemoveFile(const std::string& path);
// Gives a folder another name in the same parent; false when `to` exists
// (nothing is replaced) or the folder cannot be moved.
bool RenameFolder(const std::string& from, const std::string& to);
// The same for a file.
bool RenameFile(const std::string& from, const std::string& to);
// Removes the files directly in the folder, then the folder. False, with
// what could not go left in place, when it holds a folder of its own or a
// file cannot be removed: a folder the user may have filled is never
// emptied blindly.
bool RemoveFolderOfFiles(const std::string& path);

// The folder that holds the executable (no trailing separator).
const std::string& ProgramFolder();

// Tests point the program folder somewhere of their own.
void SetProgramFolder(std::string folder);

}  // namespace mojian
