// GBK through the Windows conversion functions. Code page 936 is always
// named explicitly: the ANSI code page of the machine may be anything.

#include <windows.h>

#include <algorithm>

#include "base/GbkCommon.h"
#include "base/Utf.h"

namespace mojian {

namespace {

constexpr UINT kGbk = 936;

// Decodes a span that is known to be good; false if Windows refuses it.
bool DecodeStrict(const char* p, int n, std::wstring& out) {
    if (n == 0) return true;
    const int len = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, p, n, nullptr, 0);
    if (len <= 0) return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(len));
    MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, p, n, out.data() + at, len);
    return true;
}

// Encodes UTF-16 without best-fit substitutes; false if any character fell
// back to the default character.
bool EncodeStrict(const wchar_t* p, int n, std::string& out) {
    if (n == 0) return true;
    BOOL usedDefault = FALSE;
    const int len = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, p, n, nullptr, 0, nullptr, &usedDefault);
    if (len <= 0 || usedDefault) return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(len));
    WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, p, n, out.data() + at, len, nullptr, nullptr);
    return true;
}

constexpr std::size_t kChunk = 1024;  // UTF-16 units encoded per call

// Code page 936 writes this private-use character as the byte 0xFF, which it
// then reads back as nothing: it is written as a reference instead, as iconv
// does, so that a file gives back what was written.
constexpr wchar_t kUnreadable = 0xF8F5;

// UTF-16 units to GBK; a character without a GBK code (or U+FFFD standing
// for ill-formed input) becomes a character reference.
void EncodeUnits(const wchar_t* w, std::size_t count, std::string& out) {
    if (std::find(w, w + count, kUnreadable) == w + count && EncodeStrict(w, static_cast<int>(count), out)) return;
    std::size_t i = 0;
    while (i < count) {
        const wchar_t c = w[i];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < count;
        const int n = pair ? 2 : 1;
        if (c == kUnreadable || !EncodeStrict(w + i, n, out)) {
            const char32_t cp = pair ? 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00) : c;
            gbk::AppendCharRef(out, cp);
        }
        i += static_cast<std::size_t>(n);
    }
}

}  // namespace

// One stretch between ASCII runs (see DecodeInRuns). A GBK character never
// gives more than one UTF-16 unit, so one call with room for as many units
// as bytes does for a good stretch; anything else goes character by
// character so that each bad spot becomes one U+FFFD and the rest survives.
void gbk::DecodeStretch(const unsigned char* from, const unsigned char* to, std::string& out) {
    const auto* bytes = reinterpret_cast<const char*>(from);
    const std::size_t size = static_cast<std::size_t>(to - from);
    wchar_t small[kChunk];
    std::wstring large;
    wchar_t* wide = small;
    if (size > kChunk) {
        large.resize(size);
        wide = large.data();
    }
    const int len = size < 0x7FFFFFFF
        ? MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(size), wide, static_cast<int>(size))
        : 0;
    if (len > 0) {
        gbk::AppendAsUtf8(out, wide, wide + len);
        return;
    }
    std::wstring chars;
    for (const unsigned char* p = from; p < to;) {
        if (*p < 0x80) {
            chars += static_cast<wchar_t>(*p++);
            continue;
        }
        const std::size_t n = gbk::BadSpan(p, to);  // the bytes a character there would take
        if (!DecodeStrict(reinterpret_cast<const char*>(p), static_cast<int>(n), chars)) chars += L'\xFFFD';
        p += n;
    }
    gbk::AppendAsUtf8(out, chars.data(), chars.data() + chars.size());
}

// One stretch between ASCII runs (see EncodeInRuns), turned into UTF-16 a
// chunk at a time as Utf8ToUtf16 would (it holds no four-byte forms, so
// every character is one unit).
void gbk::EncodeStretch(std::string_view stretch, std::string& out) {
    wchar_t wide[kChunk];
    std::size_t pos = 0;
    while (pos < stretch.size()) {
        std::size_t count = 0;
        while (count < kChunk && pos < stretch.size()) wide[count++] = static_cast<wchar_t>(gbk::NextChar(stretch, pos));
        EncodeUnits(wide, count, out);
    }
}

}  // namespace mojian
