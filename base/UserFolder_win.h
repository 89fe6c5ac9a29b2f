// The user's own folder for the program's files: %LOCALAPPDATA%\墨笺 (UTF-8),
// made by whoever first writes into it; empty when the system has no such folder.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/File.h"
#include "base/Utf.h"

namespace mojian {

inline std::string UserFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)) || !path[0]) return {};
    const std::wstring w(path);
    return JoinPath(Utf16ToUtf8(std::u16string(w.begin(), w.end())), "墨笺");
}

}  // namespace mojian
