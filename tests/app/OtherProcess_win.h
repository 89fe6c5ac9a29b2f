// Helpers for tests that drive the real program in a process of its own.
#pragma once
#include <windows.h>

#include <string>

#include "base/Utf_win.h"

namespace mojian::testing {

// The build gives Unix paths (UTF-8); Wine shows the root of them as drive Z.
inline std::wstring WindowsPath(std::string unixOrWindows) {
    if (!unixOrWindows.empty() && unixOrWindows[0] == '/') {
        for (char& c : unixOrWindows)
            if (c == '/') c = '\\';
        unixOrWindows = "Z:" + unixOrWindows;
    }
    return Wide(unixOrWindows);
}

struct ShownWindowSearch {
    DWORD pid;
    const wchar_t* cls;
    HWND found = nullptr;
};

inline BOOL CALLBACK FindShownWindow(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<ShownWindowSearch*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    if (owner != search->pid || wcscmp(name, search->cls) != 0 || !IsWindowVisible(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

// A shown top-level window of process `pid` of class `cls`, or null.
inline HWND ShownWindowOf(DWORD pid, const wchar_t* cls) {
    ShownWindowSearch search{pid, cls};
    EnumWindows(&FindShownWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace mojian::testing
