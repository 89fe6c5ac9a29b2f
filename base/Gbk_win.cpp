// GBK through the Windows conversion functions. Code page 936 is always
// named explicitly: the ANSI code page of the machine may be anything.
#include "base/Gbk.h"

#include <windows.h>

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

std::string WideToUtf8(const std::wstring& w) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
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

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
    std::wstring wide;
    wide.reserve(gbk.size());
    if (gbk.size() < 0x7FFFFFFF && DecodeStrict(gbk.data(), static_cast<int>(gbk.size()), wide))
        return WideToUtf8(wide);

    // Something in it is not GBK: go character by character so that each bad
    // spot becomes one U+FFFD and the rest survives.
    wide.clear();
    const auto* begin = reinterpret_cast<const unsigned char*>(gbk.data());
    const auto* end = begin + gbk.size();
    const auto* run = begin;  // start of the pending run of plain ASCII
    const auto flush = [&](const unsigned char* upto) {
        DecodeStrict(reinterpret_cast<const char*>(run), static_cast<int>(upto - run), wide);
    };
    for (const unsigned char* p = begin; p < end;) {
        if (*p < 0x80) { ++p; continue; }
        flush(p);
        const std::size_t n = (gbk::IsLead(*p) && p + 1 < end && gbk::IsTrail(p[1])) ? 2 : 1;
        if (!DecodeStrict(reinterpret_cast<const char*>(p), static_cast<int>(n), wide)) {
            wide += L'\xFFFD';
            p += gbk::BadSpan(p, end);
        } else {
            p += n;
        }
        run = p;
    }
    flush(end);
    return WideToUtf8(wide);
}

std::string Utf8ToGbk(std::string_view utf8) {
    const std::u16string u16 = Utf8ToUtf16(utf8);
    const auto* w = reinterpret_cast<const wchar_t*>(u16.data());
    std::string out;
    out.reserve(utf8.size());
    if (u16.size() < 0x7FFFFFFF && EncodeStrict(w, static_cast<int>(u16.size()), out)) return out;

    // At least one character has no GBK code: encode runs of BMP characters
    // and give every unrepresentable one a character reference.
    out.clear();
    std::size_t i = 0;
    while (i < u16.size()) {
        const char16_t c = u16[i];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < u16.size();
        const int n = pair ? 2 : 1;
        if (!EncodeStrict(w + i, n, out)) {
            const char32_t cp = pair ? 0x10000 + ((c - 0xD800) << 10) + (u16[i + 1] - 0xDC00) : c;
            gbk::AppendCharRef(out, cp);
        }
        i += static_cast<std::size_t>(n);
    }
    return out;
}

}  // namespace mojian
