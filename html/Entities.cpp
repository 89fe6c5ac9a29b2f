#include "html/Entities.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "base/Text.h"
#include "base/Utf.h"

namespace mojian::html {

namespace {

struct Entity {
    const char* name;
    const char* text;
    bool legacy;  // also without its semicolon
};

constexpr Entity kEntities[] = {
#include "html/EntityTable.inc"
};

const Entity* Find(std::string_view name) {
    const auto it = std::lower_bound(std::begin(kEntities), std::end(kEntities), name,
                                     [](const Entity& e, std::string_view n) { return std::string_view(e.name) < n; });
    return it != std::end(kEntities) && name == it->name ? it : nullptr;
}

char32_t Windows1252(char32_t cp) {
    static constexpr char16_t kC1[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                         0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                         0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
    if (cp >= 0x80 && cp <= 0x9F) return kC1[cp - 0x80];
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    return cp;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Decodes the reference at s[pos] == '&'; on success appends it and returns
// the position after it, otherwise returns pos unchanged.
std::size_t DecodeOne(std::string_view s, std::size_t pos, std::string& out, bool attribute) {
    std::size_t i = pos + 1;
    if (i < s.size() && s[i] == '#') {
        ++i;
        const bool hex = i < s.size() && (s[i] == 'x' || s[i] == 'X');
        if (hex) ++i;
        const std::size_t start = i;
        std::uint32_t value = 0;
        while (i < s.size() && (hex ? IsHex(s[i]) : IsDigit(s[i]))) {
            const char c = s[i];
            const std::uint32_t d = IsDigit(c) ? static_cast<std::uint32_t>(c - '0')
                                               : static_cast<std::uint32_t>(AsciiLower(c) - 'a' + 10);
            if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + d;  // saturates past the last code point
            ++i;
        }
        if (i == start) return pos;
        if (i < s.size() && s[i] == ';') ++i;
        AppendUtf8(out, Windows1252(value));
        return i;
    }
    std::size_t end = i;
    while (end < s.size() && end - i < 40 && (IsAsciiAlpha(s[end]) || IsDigit(s[end]))) ++end;
    const std::string_view name = s.substr(i, end - i);
    if (name.empty()) return pos;
    // The whole name with its semicolon, else the longest old name it starts with.
    if (end < s.size() && s[end] == ';') {
        if (const Entity* e = Find(name)) {
            out += e->text;
            return end + 1;
        }
    }
    for (std::size_t len = name.size(); len > 0; --len) {
        const Entity* e = Find(name.substr(0, len));
        if (!e || !e->legacy) continue;
        // In an attribute "&copy=" or "&copyx" is kept as written: query strings hold such things.
        if (attribute && (len < name.size() || (i + len < s.size() && s[i + len] == '='))) return pos;
        out += e->text;
        return i + len;
    }
    return pos;
}

}  // namespace

std::string DecodeEntities(std::string_view s, bool attribute) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '&') {
            const std::size_t next = DecodeOne(s, i, out, attribute);
            if (next != i) {
                i = next;
                continue;
            }
        }
        out += s[i++];
    }
    return out;
}

}  // namespace mojian::html
