// Window text as UTF-8, the program's inside encoding.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/Utf_win.h"  // Wide and Narrow

namespace mojian {

std::string GetText(HWND hwnd);
void SetText(HWND hwnd, std::string_view utf8);

// A path's last part, as the messages that name a file show it.
std::wstring FileNameOf(const std::string& path);

// Whether the window has WS_VISIBLE (its parent may still be hidden).
inline bool Shown(HWND hwnd) { return (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

}  // namespace mojian
