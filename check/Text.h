// Small text helpers the check's matchers share.
#pragma once

#include <string>
#include <string_view>

namespace mojian::check {

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

inline std::string AsciiLowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

inline bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// HTML's white space: space, tab, LF, FF, CR.
inline bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

inline std::string_view TrimHtmlSpace(std::string_view s) {
    while (!s.empty() && IsHtmlSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsHtmlSpace(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace mojian::check
