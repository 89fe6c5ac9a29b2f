// Files on POSIX systems, for the native builds and tests.
#include "base/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace mojian {

namespace {

std::string& ProgramFolderStore() {
    static std::string folder = [] {
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        return ec ? std::string(".") : exe.parent_path().string();
    }();
    return folder;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { const int fd = fd_; fd_ = -1; return fd; }
private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<std::uint64_t> FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    // Straight into the string, sized one byte past the file: a read that
    // comes back short once everything the file held has arrived marks the
    // end, with no further call. A file that grew meanwhile fills the string
    // and makes it grow; one that reports no size (/proc) is read until a
    // read gives nothing.
    const auto size = static_cast<std::size_t>(st.st_size);
    std::string data(size + 1, '\0');
    std::size_t have = 0;
    for (;;) {
        if (have == data.size()) data.resize(data.size() * 2);
        const std::size_t want = data.size() - have;
        const ssize_t n = ::read(fd.get(), data.data() + have, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
        if (size > 0 && static_cast<std::size_t>(n) < want && have >= size) break;
    }
    data.resize(have);
    return data;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, Durability durability) {
    const std::string temp = path + ".tmp~";
    {
        Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.get() < 0) return false;
        if (!WriteAll(fd.get(), bytes) || (durability == Durability::Flushed && ::fsync(fd.get()) != 0)) {
            ::unlink(temp.c_str());
            return false;
        }
        if (::close(fd.release()) != 0) {
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool WriteNewFile(const std::string& path, std::string_view bytes, bool& exists) {
    exists = false;
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        exists = (errno == EEXIST);
        return false;
    }
    if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) {
        ::unlink(path.c_str());
        return false;
    }
    return ::close(fd.release()) == 0;
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<FolderItem> ListFolder(const std::string& folder) {
    std::vector<FolderItem> items;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return items;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (::stat(JoinPath(folder, name).c_str(), &st) != 0) continue;
        FolderItem item;
        item.name = name;
        item.isFile = S_ISREG(st.st_mode);
        item.size = static_cast<std::uint64_t>(st.st_size);
        item.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        items.push_back(std::move(item));
    }
    ::closedir(dir);
    return items;
}

bool CreateFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && FolderExists(path));
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool RenameFolder(const std::string& from, const std::string& to) {
    // rename() would replace an empty folder at `to`; the caller asked for none.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return false;
    return FolderExists(from) && ::rename(from.c_str(), to.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0 || ::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFolderOfFiles(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    bool ok = true;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string full = JoinPath(path, name);
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || ::unlink(full.c_str()) != 0) ok = false;
    }
    ::closedir(dir);
    return ok && ::rmdir(path.c_str()) == 0;
}

const std::string& ProgramFolder() { return ProgramFolderStore(); }

void SetProgramFolder(std::string folder) { ProgramFolderStore() = std::move(folder); }

}  // namespace mojian
