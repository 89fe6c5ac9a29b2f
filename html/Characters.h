// Character classes for line breaking and measuring: which characters are
// wide (CJK), where a line may break, and stepping through UTF-16 by code point.
#pragma once

#include <cstddef>
#include <string_view>

namespace mojian::html {

// Chinese, Japanese and Korean characters and full-width forms.
bool IsCjk(char32_t c);

// Closing punctuation never starts a line; opening marks and currency signs never end one.
bool NoBreakBefore(char32_t c);
bool NoBreakAfter(char32_t c);

// Characters that take no room and show nothing (joiners, the soft hyphen,
// the byte-order mark); the zero-width space is not among them: it marks
// where a line may break.
bool IsInvisible(char32_t c);

// Whether a line may break between `a` and `b` (0 for `a` at a line's start).
bool BreakBetween(char32_t a, char32_t b);

// Upper and lower case of letters in the Latin, Greek and Cyrillic blocks;
// anything else is returned as it is.
char16_t ToUpper(char16_t c);
char16_t ToLower(char16_t c);

// The code point at s[i]; `len` is set to its length in UTF-16 units (1 or 2).
// A lone surrogate is returned as it is.
char32_t CodePointAt(std::u16string_view s, std::size_t i, std::size_t& len);

}  // namespace mojian::html
