#include "myblocks/Names.h"

#include <algorithm>
#include <array>

#include "base/Utf.h"

namespace mojian::myblocks {

namespace {

constexpr char32_t kIdeographicSpace = 0x3000;

bool IsSpace(char32_t c) { return c == U' ' || c == U'\t' || c == kIdeographicSpace || c == 0xA0; }

std::u32string Decode(std::string_view utf8) {
    std::u32string out;
    for (std::size_t pos = 0; pos < utf8.size();) out += NextCodePoint(utf8, pos);
    return out;
}

std::string Encode(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text) AppendUtf8(out, c);
    return out;
}

// Windows compares file names through its upper-case table; these are the
// letters a seller's names hold (Latin, Greek, Cyrillic, full-width Latin).
char32_t Upper(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;                        // ａ-ｚ
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;             // à-þ
    if (c == 0xFF) return 0x178;                                             // ÿ
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        // Latin Extended-A pairs: even upper, odd lower, but for 0x139-0x148
        // and 0x179-0x17E, where odd is upper
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper ? c % 2 == 0 : c % 2 == 1) return c - 1;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;              // α-ω
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;                            // а-я
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;                            // ѐ-џ
    return c;
}

// The full-width forms of the characters Windows forbids: the name still
// reads as the seller wrote it.
char32_t Allowed(char32_t c) {
    switch (c) {
        case U'\\': return 0xFF3C;
        case U'/': return 0xFF0F;
        case U':': return 0xFF1A;
        case U'*': return 0xFF0A;
        case U'?': return 0xFF1F;
        case U'"': return 0xFF02;
        case U'<': return 0xFF1C;
        case U'>': return 0xFF1E;
        case U'|': return 0xFF5C;
        default: break;
    }
    if (c < 0x20 || c == 0x7F) return U'_';
    return c;
}

std::size_t Utf16Units(char32_t c) { return c > 0xFFFF ? 2 : 1; }

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 (Windows also takes the superscript
// digits) name devices whatever follows the first dot, and whatever spaces
// end the part before it.
bool IsDeviceName(std::u32string_view stem) {
    std::u32string base(stem.substr(0, stem.find(U'.')));
    while (!base.empty() && base.back() == U' ') base.pop_back();
    for (char32_t& c : base) c = Upper(c);
    for (const std::u32string_view device : {U"CON", U"PRN", U"AUX", U"NUL"})
        if (base == device) return true;
    if (base.size() == 4 && (base.starts_with(U"COM") || base.starts_with(U"LPT"))) {
        const char32_t d = base[3];
        return (d >= U'1' && d <= U'9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
    }
    return false;
}

}  // namespace

std::string TidyName(std::string_view name) {
    std::u32string text = Decode(name);
    const auto first = std::find_if_not(text.begin(), text.end(), IsSpace);
    text.erase(text.begin(), first);
    while (!text.empty() && IsSpace(text.back())) text.pop_back();
    return Encode(text);
}

std::string NameFault(std::string_view name) {
    if (FirstInvalidUtf8(name) != std::string_view::npos) return "模块名称不是有效的文字。";
    const std::u32string text = Decode(name);
    if (std::all_of(text.begin(), text.end(), IsSpace)) return "请给模块起个名称。";
    if (text.size() > kMaxNameCharacters)
        return "模块名称太长了：最多 " + std::to_string(kMaxNameCharacters) + " 个字，现在有 " +
               std::to_string(text.size()) + " 个。";
    if (std::any_of(text.begin(), text.end(), [](char32_t c) { return c < 0x20 || c == 0x7F; }))
        return "模块名称不能含换行、制表符等控制字符。";
    return {};
}

std::string CaseFold(std::string_view text) {
    std::u32string folded = Decode(text);
    for (char32_t& c : folded) c = Upper(c);
    return Encode(folded);
}

std::string FileStem(std::string_view name) {
    std::u32string stem;
    std::size_t units = 0;
    for (const char32_t c : Decode(name)) {
        const char32_t allowed = Allowed(c);
        if (units + Utf16Units(allowed) > kMaxStemUnits) break;
        stem += allowed;
        units += Utf16Units(allowed);
    }
    // Windows drops trailing dots and spaces, so "a." and "a" would meet;
    // leading spaces are lost in many places too.
    while (!stem.empty() && (stem.back() == U'.' || stem.back() == U' ')) stem.pop_back();
    while (!stem.empty() && stem.front() == U' ') stem.erase(0, 1);
    if (stem.empty()) return "_";
    if (IsDeviceName(stem)) {
        stem.insert(0, 1, U'_');
        if (units + 1 > kMaxStemUnits) stem.pop_back();
        while (!stem.empty() && (stem.back() == U'.' || stem.back() == U' ')) stem.pop_back();
    }
    return Encode(stem);
}

std::string NumberedFileName(std::string_view stem, int n) {
    std::string name(stem);
    if (n > 1) name += " (" + std::to_string(n) + ")";
    return name + std::string(kExtension);
}

}  // namespace mojian::myblocks
