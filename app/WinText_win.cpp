#include "app/WinText_win.h"

namespace mojian {

std::string GetText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return {};
    std::wstring buf(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, buf.data(), length + 1);
    buf.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return Narrow(buf);
}

void SetText(HWND hwnd, std::string_view utf8) { SetWindowTextW(hwnd, Wide(utf8).c_str()); }

std::wstring FileNameOf(const std::string& path) {
    const std::wstring wide = Wide(path);
    return wide.substr(wide.find_last_of(L"\\/") + 1);
}

}  // namespace mojian
