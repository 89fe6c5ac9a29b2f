// Pieces of the GBK codec shared by the iconv and the Windows back ends, so
// both treat bad input and unrepresentable characters the same way.
//
// HTML is mostly ASCII, which GBK and UTF-8 write alike, so both directions
// copy ASCII runs straight through and hand a back end only the stretches
// between them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/Utf.h"

namespace mojian::gbk {

inline bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// How many bytes one undecodable spot spans: a well-formed but unmapped pair
// is one character, anything else one byte (its follower is tried afresh).
inline std::size_t BadSpan(const unsigned char* p, const unsigned char* end) {
    return (IsLead(p[0]) && p + 1 < end && IsTrail(p[1])) ? 2 : 1;
}

// "&#x1F600;": upper-case hex digits, no leading zeros.
inline void AppendCharRef(std::string& out, char32_t cp) {
    char buf[16] = "&#x";
    char* d = buf + 3;
    int shift = 28;
    while (shift > 0 && (cp >> shift) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) *d++ = "0123456789ABCDEF"[(cp >> shift) & 0xF];
    *d++ = ';';
    out.append(buf, d);
}

inline constexpr const char* kReplacementUtf8 = "\xEF\xBF\xBD";

// An ASCII run at least this long ends a stretch; shorter ones (a space, a
// price between Chinese words) ride along, as a back-end call costs more
// than converting a few bytes.
inline constexpr std::size_t kStretchBreak = 16;

inline constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// The first of eight bytes whose bit 7 is set in `mask` (the rest clear).
inline const unsigned char* FirstMarked(const unsigned char* p, std::uint64_t mask) {
    if constexpr (std::endian::native == std::endian::little)
        return p + std::countr_zero(mask) / 8;
    else
        return p + std::countl_zero(mask) / 8;
}

// The first byte from `p` that is not ASCII, or `end`; eight at a time.
inline const unsigned char* SkipAscii(const unsigned char* p, const unsigned char* end) {
    for (; end - p >= 8; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (const std::uint64_t high = word & kHighBits) return FirstMarked(p, high);
    }
    while (p < end && *p < 0x80) ++p;
    return p;
}

// The first byte from `p` that is ASCII or from `top` on, or `end`; eight
// at a time (`top` 0x100 stops at ASCII only).
template <unsigned top>
const unsigned char* SkipHigh(const unsigned char* p, const unsigned char* end) {
    static_assert(top == 0x100 || top == 0xF0);
    for (; end - p >= 8; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        std::uint64_t stop = ~word & kHighBits;
        // bit 7 of a byte stays in its byte through these shifts: set where the byte is 0xF0 or more
        if (top == 0xF0) stop |= word & (word << 1) & (word << 2) & (word << 3) & kHighBits;
        if (stop) return FirstMarked(p, stop);
    }
    while (p < end && *p >= 0x80 && *p < top) ++p;
    return p;
}

// Where the ASCII run at `p` ends when it is short enough to ride along in a
// stretch; nullptr when it is long or runs to the end of the text.
inline const unsigned char* ShortRunEnd(const unsigned char* p, const unsigned char* end) {
    const unsigned char* limit = static_cast<std::size_t>(end - p) > kStretchBreak ? p + kStretchBreak : end;
    const unsigned char* run = SkipAscii(p, limit);
    return run == limit ? nullptr : run;
}

// True when the byte before `at` is a lead byte that begins a character,
// `from` being a character boundary. A byte outside 0x81..0xFE is never a
// lead, so a character ends with it; the bytes after it are all leads and
// trails alike and pair up from the left.
inline bool EndsWithLead(const unsigned char* from, const unsigned char* at) {
    std::size_t leads = 0;
    while (at > from && IsLead(at[-1])) {
        --at;
        ++leads;
    }
    return leads % 2 == 1;
}

inline void AppendBytes(std::string& out, const unsigned char* from, const unsigned char* to) {
    out.append(reinterpret_cast<const char*>(from), static_cast<std::size_t>(to - from));
}

// The code point at `pos`, as NextCodePoint gives it, and `pos` moved past
// it. The common two- and three-byte forms are decoded here; leads E0 and ED
// (which need range checks) and anything odd go to NextCodePoint.
inline char32_t NextChar(std::string_view s, std::size_t& pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + pos;
    const std::size_t left = s.size() - pos;
    const char32_t c0 = p[0];
    if (c0 < 0x80) {
        ++pos;
        return c0;
    }
    if (c0 >= 0xC2 && c0 <= 0xDF && left >= 2 && (p[1] & 0xC0) == 0x80) {
        pos += 2;
        return ((c0 & 0x1F) << 6) | (p[1] & 0x3Fu);
    }
    if (c0 >= 0xE1 && c0 <= 0xEF && c0 != 0xED && left >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
        pos += 3;
        return ((c0 & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    }
    return NextCodePoint(s, pos);
}

// Appends UTF-16 (wchar_t on Windows) or UCS-4 (char32_t) as UTF-8, a
// block at a time through a buffer on the stack. An unpaired surrogate
// becomes U+FFFD.
template <class Unit>
void AppendAsUtf8(std::string& out, const Unit* p, const Unit* end) {
    constexpr std::ptrdiff_t kBlock = 255;  // units per block: four bytes each at most
    char buf[4 * (kBlock + 1)];
    while (p < end) {
        const Unit* stop = end - p > kBlock ? p + kBlock : end;
        char* d = buf;
        for (; p < stop; ++p) {
            auto cp = static_cast<char32_t>(*p);
            if (cp < 0x80) {
                *d++ = static_cast<char>(cp);
                continue;
            }
            if (cp < 0x800) {
                d[0] = static_cast<char>(0xC0 | (cp >> 6));
                d[1] = static_cast<char>(0x80 | (cp & 0x3F));
                d += 2;
                continue;
            }
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                if (sizeof(Unit) == 2 && cp <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
                    ++p;  // the pair's second half may lie just past `stop`
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(*p) - 0xDC00);
                } else {
                    cp = 0xFFFD;
                }
            }
            if (cp < 0x10000) {
                d[0] = static_cast<char>(0xE0 | (cp >> 12));
                d[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                d[2] = static_cast<char>(0x80 | (cp & 0x3F));
                d += 3;
            } else {
                d[0] = static_cast<char>(0xF0 | (cp >> 18));
                d[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                d[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                d[3] = static_cast<char>(0x80 | (cp & 0x3F));
                d += 4;
            }
        }
        out.append(buf, d);
    }
}

// Decodes GBK: ASCII runs are copied, every other stretch goes to
// `stretch(from, to, out)`. A stretch begins and ends where a character
// does: when its last byte is a lead, the ASCII-range trail (0x40..0x7E)
// after it goes with it.
template <class Stretch>
void DecodeInRuns(std::string_view gbk, std::string& out, Stretch&& stretch) {
    const auto* p = reinterpret_cast<const unsigned char*>(gbk.data());
    const auto* const end = p + gbk.size();
    while (p < end) {
        const unsigned char* from = SkipAscii(p, end);
        AppendBytes(out, p, from);
        if (from == end) break;
        const unsigned char* to = from;
        for (;;) {
            to = SkipHigh<0x100>(to, end);
            if (to == end) break;
            const unsigned char* run = ShortRunEnd(to, end);
            if (!run) break;
            to = run;
        }
        if (to < end && IsTrail(*to) && EndsWithLead(from, to)) ++to;
        stretch(from, to, out);
        p = to;
    }
}

// Encodes UTF-8: ASCII runs are copied, four-byte forms and bytes that can
// start no character become character references here (GBK holds nothing
// past U+FFFF), and every other stretch goes to `stretch(text, out)`. A
// stretch ends before an ASCII byte or a byte from 0xF0, neither of which can
// be inside a character.
template <class Stretch>
void EncodeInRuns(std::string_view utf8, std::string& out, Stretch&& stretch) {
    const auto* const begin = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = begin + utf8.size();
    const unsigned char* p = begin;
    while (p < end) {
        const unsigned char* from = SkipAscii(p, end);
        AppendBytes(out, p, from);
        if (from == end) break;
        if (*from >= 0xF0) {
            std::size_t pos = static_cast<std::size_t>(from - begin);
            AppendCharRef(out, NextCodePoint(utf8, pos));  // U+FFFD for a byte that starts nothing
            p = begin + pos;
            continue;
        }
        const unsigned char* to = from;
        for (;;) {
            to = SkipHigh<0xF0>(to, end);
            if (to == end || *to >= 0xF0) break;
            const unsigned char* run = ShortRunEnd(to, end);
            if (!run) break;
            to = run;
        }
        stretch(std::string_view(reinterpret_cast<const char*>(from), static_cast<std::size_t>(to - from)), out);
        p = to;
    }
}

// The back end's part (Gbk_win.cpp, Gbk_posix.cpp): one stretch between ASCII
// runs, decoded from GBK or encoded to it, appended to `out`.
void DecodeStretch(const unsigned char* from, const unsigned char* to, std::string& out);
void EncodeStretch(std::string_view utf8, std::string& out);

}  // namespace mojian::gbk
