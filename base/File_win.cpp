// Files through the wide-character Win32 calls.
#include "base/File.h"

#include <windows.h>

#include "base/Scoped_win.h"
#include "base/Utf_win.h"

namespace mojian {

namespace {

// Closes a file now, for the answer: closing is where a full disk can show.
bool Close(KernelHandle& h) { return CloseHandle(h.release()) != 0; }

bool WriteAll(HANDLE h, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) return false;
        p += written;
        left -= written;
    }
    return true;
}

std::string& ProgramFolderStore() {
    static std::string folder = [] {
        std::wstring buf(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            if (n == 0) return std::string(".");
            if (n < buf.size()) {
                buf.resize(n);
                break;
            }
            buf.resize(buf.size() * 2);  // a long path: try a larger buffer
        }
        const auto slash = buf.find_last_of(L"\\/");
        if (slash != std::wstring::npos) buf.resize(slash);
        return Narrow(buf);
    }();
    return folder;
}

}  // namespace

std::optional<std::uint64_t> FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    KernelHandle h(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.get(), &size)) return std::nullopt;
    std::string data;
    data.reserve(static_cast<std::size_t>(size.QuadPart));
    char buf[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h.get(), buf, sizeof buf, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        data.append(buf, got);
    }
    return data;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, Durability durability) {
    const bool flushed = durability == Durability::Flushed;
    const std::wstring target = Wide(path);
    const std::wstring temp = target + L".tmp~";
    {
        KernelHandle h(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        if (!h) return false;
        if (!WriteAll(h.get(), bytes) || (flushed && !FlushFileBuffers(h.get()))) {
            Close(h);
            DeleteFileW(temp.c_str());
            return false;
        }
        if (!Close(h)) {
            DeleteFileW(temp.c_str());
            return false;
        }
    }
    const DWORD how = MOVEFILE_REPLACE_EXISTING | (flushed ? MOVEFILE_WRITE_THROUGH : 0);
    if (!MoveFileExW(temp.c_str(), target.c_str(), how)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

bool WriteNewFile(const std::string& path, std::string_view bytes, bool& exists) {
    exists = false;
    const std::wstring target = Wide(path);
    KernelHandle h(
        CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        const DWORD err = GetLastError();
        exists = (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS);
        return false;
    }
    if (!WriteAll(h.get(), bytes) || !FlushFileBuffers(h.get())) {
        Close(h);
        DeleteFileW(target.c_str());
        return false;
    }
    return Close(h);
}

bool FolderExists(const std::string& path) {
    const DWORD attr = GetFileAttributesW(Wide(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<FolderItem> ListFolder(const std::string& folder) {
    std::vector<FolderItem> items;
    WIN32_FIND_DATAW found{};
    // One pass of the folder gives every name, size and time: no file is
    // opened (which costs Wine a server call or more each).
    const HANDLE find = FindFirstFileExW(Wide(JoinPath(folder, "*")).c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return items;
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        FolderItem item;
        item.name = Narrow(found.cFileName);
        item.isFile = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        item.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        item.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                                                  found.ftLastWriteTime.dwLowDateTime);
        items.push_back(std::move(item));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return items;
}

bool CreateFolder(const std::string& path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0 || FolderExists(path);
}

bool RemoveFile(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) != 0;
}

bool RenameFolder(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING an existing `to` makes it fail.
    return FolderExists(from) && MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0) != 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    const DWORD attributes = GetFileAttributesW(Wide(from).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0) != 0;
}

bool RemoveFolderOfFiles(const std::string& path) {
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW(Wide(JoinPath(path, "*")).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = Wide(path) + L"\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !DeleteFileW(full.c_str())) ok = false;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return ok && RemoveDirectoryW(Wide(path).c_str()) != 0;
}

const std::string& ProgramFolder() { return ProgramFolderStore(); }

void SetProgramFolder(std::string folder) { ProgramFolderStore() = std::move(folder); }

}  // namespace mojian
