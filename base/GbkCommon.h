// Pieces of the GBK codec shared by the iconv and the Windows back ends, so
// both treat bad input and unrepresentable characters the same way.
#pragma once

#include <cstdio>
#include <string>

namespace mojian::gbk {

inline bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// How many bytes one undecodable spot spans: a well-formed but unmapped pair
// is one character, anything else one byte (its follower is tried afresh).
inline std::size_t BadSpan(const unsigned char* p, const unsigned char* end) {
    return (IsLead(p[0]) && p + 1 < end && IsTrail(p[1])) ? 2 : 1;
}

inline void AppendCharRef(std::string& out, char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "&#x%X;", static_cast<unsigned>(cp));
    out += buf;
}

inline constexpr const char* kReplacementUtf8 = "\xEF\xBF\xBD";

}  // namespace mojian::gbk
