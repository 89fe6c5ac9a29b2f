// Window text as UTF-8, the program's inside encoding.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace mojian {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

std::string GetText(HWND hwnd);
void SetText(HWND hwnd, std::string_view utf8);

}  // namespace mojian
