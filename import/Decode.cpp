#include "import/Decode.h"

#include <algorithm>
#include <cstdint>

#include "base/Gbk.h"
#include "base/Utf.h"

namespace mojian::import {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Control characters no text file holds; tab, the line breaks, form feed,
// vertical tab and escape do turn up in pages.
bool IsBinaryControl(unsigned char c) {
    return c < 0x20 && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != 0x1B;
}

// One byte in a hundred such a control: a picture, an archive, a program.
// A few in a short text are a text with a fault.
bool LooksBinary(std::string_view s) {
    const auto controls = static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return IsBinaryControl(static_cast<unsigned char>(c)); }));
    return controls >= 8 && controls * 100 >= s.size();
}

std::string LineDetail(std::string_view bytes, std::size_t offset) {
    return "第 " + std::to_string(LineAt(bytes, offset)) + " 行";
}

DecodeResult Refuse(ImportErrorKind kind, std::string detail = {}) {
    DecodeResult r;
    r.error = {kind, std::move(detail)};
    return r;
}

// The sequence starting at `at` would be well-formed, but the bytes end first.
bool CutShortUtf8(std::string_view s, std::size_t at) {
    const auto lead = static_cast<unsigned char>(s[at]);
    const std::size_t need = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xC2 && lead <= 0xDF                      ? 2
                                                                                 : 0;
    if (need == 0 || s.size() - at >= need) return false;
    for (std::size_t i = at + 1; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return false;
    return true;
}

// Well-formed and ill-formed non-ASCII sequences, read as UTF-8.
struct Utf8Census {
    std::size_t good = 0, bad = 0;
};

Utf8Census CountUtf8(std::string_view s) {
    Utf8Census census;
    for (std::size_t pos = 0; pos < s.size();) {
        if (static_cast<unsigned char>(s[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t at = pos;
        NextCodePoint(s, pos);
        ++(pos - at == 1 ? census.bad : census.good);  // an ill-formed byte is consumed alone
    }
    return census;
}

// Where GBK's byte structure first breaks: 0xFF, a lead byte without a
// trail byte after it, or one the bytes end before.
struct GbkScan {
    std::size_t bad = std::string_view::npos;
    bool cutShort = false;
};

GbkScan ScanGbk(std::string_view s) {
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c <= 0x80) {  // ASCII, and 0x80 the euro sign
            ++i;
            continue;
        }
        if (c == 0xFF) return {i, false};
        if (i + 1 == n) return {i, true};
        const auto t = static_cast<unsigned char>(s[i + 1]);
        if (t < 0x40 || t == 0x7F || t == 0xFF) return {i, false};
        i += 2;
    }
    return {};
}

// The first pair that has the form of a GBK character but no character (the
// user-defined areas some code pages leave empty).
std::size_t FirstUnmappedGbk(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) <= 0x80) {
            ++i;
            continue;
        }
        if (GbkToUtf8(s.substr(i, 2)).find(kReplacement) != std::string::npos) return i;
        i += 2;
    }
    return std::string_view::npos;
}

// The page names a Chinese code page as its charset: gbk, gb2312, gb18030.
bool DeclaresGbk(std::string_view s) {
    std::string head(s.substr(0, 4096));
    std::transform(head.begin(), head.end(), head.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    for (std::size_t at = head.find("charset"); at != std::string::npos; at = head.find("charset", at + 1)) {
        std::size_t p = at + 7;
        while (p < head.size() && (head[p] == ' ' || head[p] == '=' || head[p] == '"' || head[p] == '\'')) ++p;
        if (head.compare(p, 2, "gb") == 0 || head.compare(p, 5, "x-gbk") == 0) return true;
    }
    return false;
}

// What every decoded text goes through: control characters no text holds,
// NUL characters, blank text, then the GBK form (a GBK file's text has it
// already).
DecodeResult Finish(std::string text, TextEncoding encoding) {
    if (LooksBinary(text)) return Refuse(ImportErrorKind::NotText);
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos)
        return Refuse(ImportErrorKind::NulCharacter, LineDetail(text, nul));
    if (std::all_of(text.begin(), text.end(), IsBlank)) return Refuse(ImportErrorKind::Empty);
    if (encoding != TextEncoding::Gbk && encoding != TextEncoding::Ascii) text = GbkToUtf8(Utf8ToGbk(text));
    DecodeResult r;
    r.decoded = DecodedText{std::move(text), encoding};
    return r;
}

// UTF-8 that goes wrong at `bad`.
DecodeResult BadUtf8(std::string_view s, std::size_t bad) {
    if (s.find('\0') != std::string_view::npos || LooksBinary(s)) return Refuse(ImportErrorKind::NotText);
    if (CutShortUtf8(s, bad)) return Refuse(ImportErrorKind::Truncated, LineDetail(s, bad) + "，按 UTF-8 读");
    return Refuse(ImportErrorKind::InvalidText, LineDetail(s, bad) + "，按 UTF-8 读到这里出错");
}

DecodeResult DecodeUtf16(std::string_view s, bool littleEndian, TextEncoding encoding) {
    if (s.size() % 2 != 0) return Refuse(ImportErrorKind::Truncated, "UTF-16 文件的字节数是单数");
    const auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(s[2 * i]), b = static_cast<unsigned char>(s[2 * i + 1]);
        return static_cast<char32_t>(littleEndian ? a | (b << 8) : (a << 8) | b);
    };
    const std::size_t units = s.size() / 2;
    std::string out;
    out.reserve(s.size() + s.size() / 2);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 == units) return Refuse(ImportErrorKind::Truncated, LineDetail(out, out.size()) + "，按 UTF-16 读");
            const char32_t low = unit(i + 1);
            if (low < 0xDC00 || low > 0xDFFF)
                return Refuse(ImportErrorKind::InvalidText, LineDetail(out, out.size()) + "，按 UTF-16 读到这里出错");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return Refuse(ImportErrorKind::InvalidText, LineDetail(out, out.size()) + "，按 UTF-16 读到这里出错");
        }
        AppendUtf8(out, cp);
    }
    return Finish(std::move(out), encoding);
}

}  // namespace

std::string_view EncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Ascii:
        return "ASCII";
    case TextEncoding::Utf8:
        return "UTF-8";
    case TextEncoding::Utf8Bom:
        return "UTF-8（带 BOM）";
    case TextEncoding::Utf16Le:
        return "UTF-16 LE";
    case TextEncoding::Utf16Be:
        return "UTF-16 BE";
    case TextEncoding::Gbk:
        return "GBK";
    }
    return "";
}

std::size_t LineAt(std::string_view bytes, std::size_t offset) {
    std::size_t line = 1;
    const std::size_t end = std::min(offset, bytes.size());
    for (std::size_t i = 0; i < end; ++i) {
        if (bytes[i] == '\n') ++line;
        else if (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')) ++line;
    }
    return line;
}

DecodeResult DecodeDescription(std::string_view bytes) {
    if (bytes.size() > kMaxImportBytes)
        return Refuse(ImportErrorKind::TooLarge, "共 " + std::to_string(bytes.size() / 1024 / 1024) + " MB");
    if (bytes.substr(0, 3) == kUtf8Bom) {
        const std::string_view body = bytes.substr(3);
        const std::size_t bad = FirstInvalidUtf8(body);
        if (bad != std::string_view::npos) return BadUtf8(body, bad);
        return Finish(std::string(body), TextEncoding::Utf8Bom);
    }
    if (bytes.substr(0, 2) == "\xFF\xFE") return DecodeUtf16(bytes.substr(2), true, TextEncoding::Utf16Le);
    if (bytes.substr(0, 2) == "\xFE\xFF") return DecodeUtf16(bytes.substr(2), false, TextEncoding::Utf16Be);

    const std::size_t utf8Bad = FirstInvalidUtf8(bytes);
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return Finish(std::string(bytes), TextEncoding::Ascii);
    const GbkScan gbk = ScanGbk(bytes);
    if (utf8Bad == std::string_view::npos) {
        // Short GBK text can happen to be well-formed UTF-8; a page that says
        // it is GBK and reads as GBK is taken at its word.
        if (gbk.bad == std::string_view::npos && DeclaresGbk(bytes)) {
            std::string text = GbkToUtf8(bytes);
            if (text.find(kReplacement) == std::string::npos) return Finish(std::move(text), TextEncoding::Gbk);
        }
        return Finish(std::string(bytes), TextEncoding::Utf8);
    }
    // UTF-8 with a bad spot or two often reads as GBK without a fault, and
    // would come in garbled: text that is mostly well-formed UTF-8 is UTF-8
    // gone wrong. GBK's pairs seldom form UTF-8 by chance.
    const Utf8Census census = CountUtf8(bytes);
    if (census.good > 0 && census.good >= 4 * census.bad) return BadUtf8(bytes, utf8Bad);
    std::size_t gbkBad = gbk.bad;
    if (gbkBad == std::string_view::npos) {
        std::string text = GbkToUtf8(bytes);
        if (text.find(kReplacement) == std::string::npos) return Finish(std::move(text), TextEncoding::Gbk);
        gbkBad = FirstUnmappedGbk(bytes);
    }
    if (bytes.find('\0') != std::string_view::npos || LooksBinary(bytes)) return Refuse(ImportErrorKind::NotText);
    if (gbk.cutShort) return Refuse(ImportErrorKind::Truncated, LineDetail(bytes, gbkBad) + "，按 GBK 读");
    if (utf8Bad >= gbkBad) return BadUtf8(bytes, utf8Bad);
    return Refuse(ImportErrorKind::InvalidText, LineDetail(bytes, gbkBad) + "，按 GBK 读到这里出错");
}

DecodeResult NormaliseDescription(std::string_view utf8) {
    if (utf8.size() > kMaxImportBytes)
        return Refuse(ImportErrorKind::TooLarge, "共 " + std::to_string(utf8.size() / 1024 / 1024) + " MB");
    if (utf8.substr(0, 3) == kUtf8Bom) utf8.remove_prefix(3);
    if (const std::size_t bad = FirstInvalidUtf8(utf8); bad != std::string_view::npos) return BadUtf8(utf8, bad);
    return Finish(std::string(utf8), TextEncoding::Utf8);
}

}  // namespace mojian::import
