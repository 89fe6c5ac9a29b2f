// ASCII case and white space for the markup, styles and settings the program
// reads. Byte by byte (or unit by unit): UTF-8 and UTF-16 pass through as
// they are, since no byte of a multi-byte character is ASCII.
#pragma once

#include <string>
#include <string_view>

namespace mojian {

template <typename Char>
constexpr Char AsciiLower(Char c) {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

inline std::string AsciiLowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

inline std::u16string AsciiLowered(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = AsciiLower(c);
    return out;
}

// HTML's white space: space, tab, LF, FF, CR.
template <typename Char>
constexpr bool IsHtmlSpace(Char c) {
    return c == Char(' ') || c == Char('\t') || c == Char('\n') || c == Char('\f') || c == Char('\r');
}

// An ASCII letter.
constexpr bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A space or any control character below it.
constexpr bool IsSpaceOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Drops the characters `drop` says yes to from the front, from the back, or
// from both ends.
template <typename Char, typename Drop>
constexpr std::basic_string_view<Char> TrimFront(std::basic_string_view<Char> s, Drop drop) {
    while (!s.empty() && drop(s.front())) s.remove_prefix(1);
    return s;
}

template <typename Char, typename Drop>
constexpr std::basic_string_view<Char> TrimBack(std::basic_string_view<Char> s, Drop drop) {
    while (!s.empty() && drop(s.back())) s.remove_suffix(1);
    return s;
}

template <typename Char, typename Drop>
constexpr std::basic_string_view<Char> Trim(std::basic_string_view<Char> s, Drop drop) {
    return TrimBack(TrimFront(s, drop), drop);
}

constexpr std::string_view TrimHtmlSpace(std::string_view s) { return Trim(s, IsHtmlSpace<char>); }
constexpr std::u16string_view TrimHtmlSpace(std::u16string_view s) { return Trim(s, IsHtmlSpace<char16_t>); }

constexpr std::string_view TrimSpaceAndControls(std::string_view s) { return Trim(s, IsSpaceOrControl); }

}  // namespace mojian
