#include "html/Entities.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "base/Utf.h"

namespace mojian::html {

namespace {

struct Entity {
    const char* name;
    char32_t cp;
};

// The references seller HTML actually uses, plus the common Latin-1 and
// typographic ones; anything else stays as written, as browsers show it.
constexpr Entity kEntities[] = {
    {"nbsp", 0xA0},   {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},
    {"apos", '\''},   {"yen", 0xA5},     {"times", 0xD7},   {"divide", 0xF7},  {"copy", 0xA9},
    {"reg", 0xAE},    {"trade", 0x2122}, {"middot", 0xB7},  {"bull", 0x2022},  {"hellip", 0x2026},
    {"mdash", 0x2014}, {"ndash", 0x2013}, {"laquo", 0xAB},  {"raquo", 0xBB},   {"lsquo", 0x2018},
    {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D}, {"deg", 0xB0},    {"plusmn", 0xB1},
    {"sect", 0xA7},   {"para", 0xB6},    {"cent", 0xA2},    {"pound", 0xA3},   {"euro", 0x20AC},
    {"iexcl", 0xA1},  {"iquest", 0xBF},  {"sup1", 0xB9},    {"sup2", 0xB2},    {"sup3", 0xB3},
    {"frac12", 0xBD}, {"frac14", 0xBC},  {"frac34", 0xBE},  {"micro", 0xB5},   {"shy", 0xAD},
    {"larr", 0x2190}, {"uarr", 0x2191},  {"rarr", 0x2192},  {"darr", 0x2193},  {"harr", 0x2194},
    {"hearts", 0x2665}, {"spades", 0x2660}, {"clubs", 0x2663}, {"diams", 0x2666}, {"star", 0x2606},
    {"starf", 0x2605}, {"check", 0x2713}, {"ensp", 0x2002}, {"emsp", 0x2003}, {"thinsp", 0x2009},
    {"zwsp", 0x200B}, {"permil", 0x2030}, {"prime", 0x2032}, {"infin", 0x221E}, {"asymp", 0x2248},
    {"ne", 0x2260},   {"le", 0x2264},    {"ge", 0x2265},    {"radic", 0x221A}, {"alpha", 0x3B1},
    {"beta", 0x3B2},  {"pi", 0x3C0},     {"ordm", 0xBA},    {"ordf", 0xAA},    {"macr", 0xAF},
    {"acute", 0xB4},  {"uml", 0xA8},     {"cedil", 0xB8},   {"not", 0xAC},     {"brvbar", 0xA6},
    {"curren", 0xA4},
    // Pasted pages use these to hide a "javascript:" address from a plain reading.
    {"colon", ':'},   {"Tab", '\t'},     {"NewLine", '\n'},
};

// Without a semicolon browsers still accept the old Latin-1 names.
bool LegacyName(std::string_view name) {
    static constexpr const char* kLegacy[] = {"nbsp", "amp", "lt", "gt", "quot", "yen", "times", "copy", "reg",
                                              "middot", "deg", "laquo", "raquo", "plusmn", "divide"};
    return std::any_of(std::begin(kLegacy), std::end(kLegacy), [&](const char* n) { return name == n; });
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

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Decodes the reference at s[pos] == '&'; on success appends it and returns
// the position after it, otherwise returns pos unchanged.
std::size_t DecodeOne(std::string_view s, std::size_t pos, std::string& out) {
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
                                               : static_cast<std::uint32_t>(Lower(c) - 'a' + 10);
            if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + d;  // saturates past the last code point
            ++i;
        }
        if (i == start) return pos;
        if (i < s.size() && s[i] == ';') ++i;
        AppendUtf8(out, Windows1252(value));
        return i;
    }
    std::size_t end = i;
    while (end < s.size() && end - i < 32 && (IsAlpha(s[end]) || IsDigit(s[end]))) ++end;
    const std::string_view name = s.substr(i, end - i);
    if (name.empty()) return pos;
    const bool semicolon = end < s.size() && s[end] == ';';
    for (const auto& e : kEntities) {
        if (name == e.name && (semicolon || LegacyName(name))) {
            AppendUtf8(out, e.cp);
            return semicolon ? end + 1 : end;
        }
    }
    // "&nbspx" and the like: the longest legacy prefix, as browsers do in text.
    if (!semicolon) {
        for (const auto& e : kEntities) {
            const std::string_view n = e.name;
            if (LegacyName(n) && name.size() > n.size() && name.substr(0, n.size()) == n) {
                AppendUtf8(out, e.cp);
                return i + n.size();
            }
        }
    }
    return pos;
}

}  // namespace

std::string DecodeEntities(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '&') {
            const std::size_t next = DecodeOne(s, i, out);
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
