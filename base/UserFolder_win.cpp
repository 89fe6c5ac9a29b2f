// %LOCALAPPDATA% as the process sees it, else as the shell knows it.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/Utf_win.h"

namespace mojian {

std::string LocalAppDataFolder() {
    // The variable first: it is what the user's session says, and a caller
    // can give a child process a folder of its own through it.
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
        n = static_cast<DWORD>(wcslen(path));
    }
    return Narrow(std::wstring_view(path, n));
}

}  // namespace mojian
