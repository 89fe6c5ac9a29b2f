#include "base/Utf.h"

namespace mojian {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }
}  // namespace

char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
    const auto c0 = static_cast<unsigned char>(s[pos]);
    if (c0 < 0x80) {
        ++pos;
        return c0;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (c0 >= 0xC2 && c0 <= 0xDF) { len = 2; cp = c0 & 0x1F; min = 0x80; }
    else if (c0 >= 0xE0 && c0 <= 0xEF) { len = 3; cp = c0 & 0x0F; min = 0x800; }
    else if (c0 >= 0xF0 && c0 <= 0xF4) { len = 4; cp = c0 & 0x07; min = 0x10000; }
    else { ++pos; return kReplacement; }
    if (pos + len > s.size()) { ++pos; return kReplacement; }
    for (int i = 1; i < len; ++i) {
        const auto c = static_cast<unsigned char>(s[pos + i]);
        if (!IsContinuation(c)) { ++pos; return kReplacement; }
        cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++pos; return kReplacement; }
    pos += len;
    return cp;
}

std::size_t FirstInvalidUtf8(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size()) {
        const std::size_t at = pos;
        if (NextCodePoint(s, pos) == kReplacement && pos - at != 3) return at;
    }
    return std::string_view::npos;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

template <typename Unit>
std::size_t ToUtf16(std::string_view s, Unit* out) {
    Unit* const begin = out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        const auto c = static_cast<unsigned char>(s[pos]);
        if (c < 0x80) {  // the common case (HTML is mostly ASCII), kept tight
            *out++ = static_cast<Unit>(c);
            ++pos;
            continue;
        }
        const char32_t cp = NextCodePoint(s, pos);
        if (cp >= 0x10000) {
            *out++ = static_cast<Unit>(0xD800 + ((cp - 0x10000) >> 10));
            *out++ = static_cast<Unit>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *out++ = static_cast<Unit>(cp);
        }
    }
    return static_cast<std::size_t>(out - begin);
}

}  // namespace

std::size_t Utf8ToUtf16Units(std::string_view s, char16_t* out) { return ToUtf16(s, out); }
std::size_t Utf8ToUtf16Units(std::string_view s, wchar_t* out) { return ToUtf16(s, out); }

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out(s.size(), u'\0');
    out.resize(ToUtf16(s, out.data()));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size() * 3 / 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;  // an unpaired surrogate
        }
        AppendUtf8(out, cp);
    }
    return out;
}

}  // namespace mojian
