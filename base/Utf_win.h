// The Win32 calls' UTF-16 is wchar_t (two bytes there): the program's UTF-8
// to and from it, with the conversions of base/Utf.h.
#pragma once

#include <string>
#include <string_view>

#include "base/Utf.h"

namespace mojian {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32's wchar_t is a UTF-16 unit");

inline std::wstring Wide(std::string_view utf8) {
    // Converted in place: a copied page can be megabytes.
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(Utf8ToUtf16Units(utf8, wide.data()));
    return wide;
}

inline std::string Narrow(std::wstring_view wide) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace mojian
