// UTF-8 inside the program, UTF-16 at the Win32 calls: conversions between
// them that never fail (ill-formed input becomes U+FFFD).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mojian {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Writes the UTF-16 form of `utf8` to `out`, which must have room for
// utf8.size() units (a code point never takes more units than bytes), and
// returns how many it wrote. The wchar_t form fills a Win32 string in place.
std::size_t Utf8ToUtf16Units(std::string_view utf8, char16_t* out);
std::size_t Utf8ToUtf16Units(std::string_view utf8, wchar_t* out);

// Decodes one code point at `pos` and advances `pos`; ill-formed or truncated
// sequences yield U+FFFD and consume one byte.
char32_t NextCodePoint(std::string_view utf8, std::size_t& pos);

void AppendUtf8(std::string& out, char32_t cp);

// Where the first ill-formed sequence starts; npos when all of `utf8` is
// well-formed UTF-8 (a U+FFFD written as such is well-formed).
std::size_t FirstInvalidUtf8(std::string_view utf8);

}  // namespace mojian
