#include "html/GdiFonts_win.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace mojian::html {

namespace {

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFamily(HDC dc, const std::u16string& family) {
    if (family.empty() || family.size() >= LF_FACESIZE) return false;
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    family.copy(reinterpret_cast<char16_t*>(lf.lfFaceName), family.size());
    bool found = false;
    EnumFontFamiliesExW(dc, &lf, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// The named family when the system has it, else the Chinese faces a
// Windows PC (or Wine with WenQuanYi) offers, in order of preference.
std::u16string ResolveFamily(HDC dc, const std::u16string& family) {
    static const std::u16string kFallbacks[] = {u"微软雅黑", u"Microsoft YaHei", u"宋体", u"SimSun",
                                                u"WenQuanYi Micro Hei", u"Tahoma"};
    if (HasFamily(dc, family)) return family;
    for (const auto& f : kFallbacks)
        if (HasFamily(dc, f)) return f;
    return family;
}

}  // namespace

GdiFonts::GdiFonts() : dc_(CreateMemoryDc()) {}

HFONT GdiFonts::Get(const FontKey& want) { return Usable(EntryFor(want)); }

HFONT GdiFonts::Usable(const Entry& entry) {
    const HFONT font = entry.font.get();
    return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

GdiFonts::Entry& GdiFonts::EntryFor(const FontKey& want) {
    for (auto& e : fonts_)
        if (e.key == want) return e;
    const std::u16string face = ResolveFamily(dc_.get(), want.family);
    LOGFONTW lf{};
    lf.lfHeight = -std::max(1, want.size);
    lf.lfWeight = want.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = want.italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    face.copy(reinterpret_cast<char16_t*>(lf.lfFaceName), std::min<std::size_t>(face.size(), LF_FACESIZE - 1));
    fonts_.push_back({want, Font(CreateFontIndirectW(&lf)), {}});
    return fonts_.back();
}

FontMetrics GdiFonts::Metrics(const FontKey& want) {
    Selection font(dc_.get(), Get(want));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc_.get(), &tm);
    FontMetrics m;
    m.ascent = tm.tmAscent;
    m.descent = tm.tmDescent;
    m.lineHeight = tm.tmHeight + tm.tmExternalLeading;
    return m;
}

int GdiFonts::Advance(const FontKey& want, std::u16string_view character) {
    Entry& entry = EntryFor(want);
    const std::u16string key(character);
    if (const auto it = entry.advances.find(key); it != entry.advances.end()) return it->second;
    Selection font(dc_.get(), Usable(entry));
    SIZE size{};
    GetTextExtentPoint32W(dc_.get(), reinterpret_cast<const wchar_t*>(character.data()),
                          static_cast<int>(character.size()), &size);
    entry.advances.emplace(key, static_cast<int>(size.cx));
    return size.cx;
}

}  // namespace mojian::html
