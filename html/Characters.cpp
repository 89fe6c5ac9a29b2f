#include "html/Characters.h"

#include <algorithm>
#include <iterator>

namespace mojian::html {

bool IsCjk(char32_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) || c == 0xFFFC || (c >= 0x20000 && c <= 0x3FFFF);
}

bool NoBreakBefore(char32_t c) {
    static constexpr char32_t kSet[] = {0xFF0C, 0x3002, 0x3001, 0xFF1A, 0xFF1B, 0xFF01, 0xFF1F, 0xFF09, 0x3011,
                                        0x300D, 0x300F, 0x300B, 0x3009, 0x201D, 0x2019, 0x2026, 0xFF0E, ',',
                                        '.',    '!',    '?',    ':',    ';',    ')',    ']',    '}',    '%',
                                        0x3015, 0xFF5D, 0xFF3D, 0x30FC, 0xFF05, 0xA0};
    return std::find(std::begin(kSet), std::end(kSet), c) != std::end(kSet);
}

bool NoBreakAfter(char32_t c) {
    static constexpr char32_t kSet[] = {0xFF08, 0x3010, 0x300C, 0x300E, 0x300A, 0x3008, 0x201C, 0x2018,
                                        0xFFE5, 0xA5,   '$',    '(',    '[',    '{',    0x3014, 0xFF5B,
                                        0xFF3B, 0xA0,   0xFFE1, 0xA3};
    return std::find(std::begin(kSet), std::end(kSet), c) != std::end(kSet);
}

bool IsInvisible(char32_t c) {
    return c == 0xAD || c == 0x34F || (c >= 0x200C && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2064) || c == 0xFEFF || (c >= 0xFE00 && c <= 0xFE0F);
}

bool BreakBetween(char32_t a, char32_t b) {
    if (a == 0 || b == ' ') return false;
    if (a == ' ' || a == 0x200B) return true;
    if (NoBreakBefore(b) || NoBreakAfter(a)) return false;
    return IsCjk(a) || IsCjk(b);
}

char16_t ToUpper(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
    if (c == 0xFF) return 0x178;
    return c;
}

char16_t ToLower(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    if (c == 0x178) return 0xFF;
    return c;
}

char32_t CodePointAt(std::u16string_view s, std::size_t i, std::size_t& len) {
    const char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        len = 2;
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
    }
    len = 1;
    return c;
}

}  // namespace mojian::html
