#include "base/UserFolder.h"

#include "base/File.h"

namespace mojian {

// Where the system keeps the user's local application data; empty if none.
std::string LocalAppDataFolder();

namespace {

std::string& Override() {
    static std::string folder;
    return folder;
}

}  // namespace

std::string UserDataFolder() {
    std::string folder = Override();
    if (folder.empty()) {
        const std::string base = LocalAppDataFolder();
        if (base.empty()) return {};
        folder = JoinPath(base, "墨笺");
    }
    return FolderExists(folder) || CreateFolder(folder) ? folder : std::string();
}

void SetUserDataFolder(std::string folder) { Override() = std::move(folder); }

}  // namespace mojian
