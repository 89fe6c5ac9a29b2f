#include "app/WinText_win.h"

#include "base/Utf.h"

namespace mojian {

std::wstring Wide(std::string_view utf8) {
    // Converted in place: a copied page can be megabytes.
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(Utf8ToUtf16Units(utf8, wide.data()));
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::string GetText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return {};
    std::wstring buf(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, buf.data(), length + 1);
    buf.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return Narrow(buf);
}

void SetText(HWND hwnd, std::string_view utf8) { SetWindowTextW(hwnd, Wide(utf8).c_str()); }

}  // namespace mojian
