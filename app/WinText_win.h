// Window text as UTF-8, the program's inside encoding.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/Utf_win.h"  // Wide and Narrow

namespace mojian {

std::string GetText(HWND hwnd);
void SetText(HWND hwnd, std::string_view utf8);

}  // namespace mojian
