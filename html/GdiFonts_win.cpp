#include "html/GdiFonts_win.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "html/FontChoice.h"

namespace mojian::html {

namespace {

struct Enumerated {
    bool any = false;
    bool bold = false;
};

int CALLBACK OnFace(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM param) {
    auto* found = reinterpret_cast<Enumerated*>(param);
    found->any = true;
    if (lf->lfWeight >= FW_SEMIBOLD) found->bold = true;
    return 1;
}

Enumerated Enumerate(HDC dc, std::u16string_view family) {
    Enumerated found;
    if (family.empty() || family.size() >= LF_FACESIZE) return found;
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    family.copy(reinterpret_cast<char16_t*>(lf.lfFaceName), family.size());
    EnumFontFamiliesExW(dc, &lf, OnFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

Font MakeFont(const std::u16string& family, int height, bool bold, bool italic) {
    LOGFONTW lf{};
    lf.lfHeight = -std::max(1, height);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    family.copy(reinterpret_cast<char16_t*>(lf.lfFaceName), std::min<std::size_t>(family.size(), LF_FACESIZE - 1));
    return Font(CreateFontIndirectW(&lf));
}

std::u16string KeyText(const FontKey& k) {
    return k.family + u'\x01' + (k.bold ? u'b' : u'-') + (k.italic ? u'i' : u'-');
}

}  // namespace

GdiFonts::GdiFonts() : dc_(CreateMemoryDc()) {}

bool GdiFonts::Installed(std::u16string_view family) {
    const std::u16string key(family);
    auto it = installed_.find(key);
    if (it == installed_.end()) {
        const Enumerated e = Enumerate(dc_.get(), family);
        it = installed_.emplace(key, e.any).first;
        bold_.emplace(key, e.bold);
    }
    return it->second;
}

bool GdiFonts::HasBold(const std::u16string& family) {
    Installed(family);
    return bold_[family];
}

GdiFonts::Face& GdiFonts::FaceFor(const std::u16string& family, bool bold, bool italic) {
    for (Face& f : faces_)
        if (f.family == family && f.bold == bold && f.italic == italic) return f;
    faces_.emplace_back();
    Face& f = faces_.back();
    f.family = family;
    f.bold = bold;
    f.italic = italic;
    // A family without a bold face is drawn emboldened by GDI, and browsers
    // keep the regular face's advances for it.
    f.syntheticBold = bold && !HasBold(family);
    const bool measureBold = bold && !f.syntheticBold;
    // Measured at its design size, where a pixel is a design unit.
    UINT em = 2048;
    {
        const Font probe = MakeFont(family, 2048, measureBold, italic);
        const Selection select(dc_.get(), probe.get());
        OUTLINETEXTMETRICW otm{};
        otm.otmSize = sizeof otm;
        if (GetOutlineTextMetricsW(dc_.get(), sizeof otm, &otm) && otm.otmEMSquare >= 16 && otm.otmEMSquare <= 16384)
            em = otm.otmEMSquare;
    }
    f.em = static_cast<float>(em);
    f.design = MakeFont(family, static_cast<int>(em), measureBold, italic);
    const Selection select(dc_.get(), f.design.get());
    TEXTMETRICW tm{};
    GetTextMetricsW(dc_.get(), &tm);
    f.ascent = tm.tmAscent;
    f.descent = tm.tmDescent;
    f.lineGap = tm.tmExternalLeading;
    const DWORD pairs = GetKerningPairsW(dc_.get(), 0, nullptr);
    if (pairs > 0 && pairs < 100000) {
        std::vector<KERNINGPAIR> kp(pairs);
        const DWORD got = GetKerningPairsW(dc_.get(), pairs, kp.data());
        for (DWORD i = 0; i < got && i < pairs; ++i)
            f.kerning[(static_cast<std::uint32_t>(kp[i].wFirst) << 16) | kp[i].wSecond] = kp[i].iKernAmount;
    }
    return f;
}

GdiFonts::Chain& GdiFonts::ChainFor(const FontKey& font) {
    const std::u16string text = KeyText(font);
    if (const auto it = chainIndex_.find(text); it != chainIndex_.end()) return chains_[it->second];
    Chain chain;
    chain.key = font;
    chain.key.size = 16;
    const std::vector<std::u16string> faces =
        ChooseFaces(ParseFamilies(font.family), [this](std::u16string_view f) { return Installed(f); });
    for (const std::u16string& face : faces) chain.faces.push_back(&FaceFor(face, font.bold, font.italic));
    if (chain.faces.empty()) chain.faces.push_back(&FaceFor(u"Tahoma", font.bold, font.italic));  // nothing installed at all
    chains_.push_back(std::move(chain));
    chainIndex_.emplace(text, chains_.size() - 1);
    return chains_.back();
}

bool GdiFonts::Has(Face& face, char32_t c) {
    if (const auto it = face.glyphs.find(c); it != face.glyphs.end()) return it->second;
    bool has = false;
    if (c < 0x10000) {
        Selection select(dc_.get(), face.design.get());
        const wchar_t ch = static_cast<wchar_t>(c);
        WORD glyph = 0xFFFF;
        has = GetGlyphIndicesW(dc_.get(), &ch, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == 1 && glyph != 0xFFFF;
    }
    face.glyphs.emplace(c, has);
    return has;
}

GdiFonts::Face& GdiFonts::FaceOf(Chain& chain, char32_t c) {
    // Spaces and controls are the first face's.
    if (c <= 0x20) return *chain.faces.front();
    for (Face* f : chain.faces)
        if (Has(*f, c)) return *f;
    return *chain.faces.front();
}

float GdiFonts::DesignAdvance(Face& face, char32_t c) {
    if (const auto it = face.advances.find(c); it != face.advances.end()) return it->second;
    Selection select(dc_.get(), face.design.get());
    float advance = 0;
    if (c < 0x10000) {
        ABC abc{};
        if (GetCharABCWidthsW(dc_.get(), static_cast<UINT>(c), static_cast<UINT>(c), &abc))
            advance = static_cast<float>(abc.abcA + static_cast<int>(abc.abcB) + abc.abcC);
        else {
            const wchar_t ch = static_cast<wchar_t>(c);
            SIZE size{};
            GetTextExtentPoint32W(dc_.get(), &ch, 1, &size);
            advance = static_cast<float>(size.cx);
        }
    } else {
        const char32_t v = c - 0x10000;
        const wchar_t pair[2] = {static_cast<wchar_t>(0xD800 + (v >> 10)), static_cast<wchar_t>(0xDC00 + (v & 0x3FF))};
        SIZE size{};
        GetTextExtentPoint32W(dc_.get(), pair, 2, &size);
        advance = static_cast<float>(size.cx);
    }
    face.advances.emplace(c, advance);
    return advance;
}

FontMetrics GdiFonts::Metrics(const FontKey& font) {
    const Face& f = *ChainFor(font).faces.front();
    const float scale = font.size / f.em;
    FontMetrics m;
    m.ascent = static_cast<int>(std::lround(static_cast<float>(f.ascent) * scale));
    m.descent = static_cast<int>(std::lround(static_cast<float>(f.descent) * scale));
    m.lineHeight = m.ascent + m.descent + static_cast<int>(std::lround(static_cast<float>(f.lineGap) * scale));
    return m;
}

float GdiFonts::Advance(const FontKey& font, char32_t c) {
    Face& f = FaceOf(ChainFor(font), c);
    return DesignAdvance(f, c) * font.size / f.em;
}

float GdiFonts::Kerning(const FontKey& font, char32_t a, char32_t b) {
    if (a > 0xFFFF || b > 0xFFFF) return 0;
    Chain& chain = ChainFor(font);
    Face& f = FaceOf(chain, a);
    if (f.kerning.empty() || &FaceOf(chain, b) != &f) return 0;
    const auto it = f.kerning.find((a << 16) | b);
    return it == f.kerning.end() ? 0 : static_cast<float>(it->second) * font.size / f.em;
}

HFONT GdiFonts::Sized(Face& face, const FontKey& key) {
    const int height = std::max(1, static_cast<int>(std::lround(key.size)));
    for (auto& [h, font] : face.sized)
        if (h == height) return font.get();
    face.sized.emplace_back(height, MakeFont(face.family, height, key.bold, key.italic));
    HFONT made = face.sized.back().second.get();
    return made ? made : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

std::vector<GdiFonts::Run> GdiFonts::Runs(const FontKey& font, std::u16string_view text) {
    Chain& chain = ChainFor(font);
    std::vector<Run> runs;
    Face* current = nullptr;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len;
        const char32_t c = CodePointAt(text, i, len);
        // Spaces stay with the run they are in.
        Face* face = c == ' ' && current ? current : &FaceOf(chain, c);
        if (face != current) {
            runs.push_back({i, i, Sized(*face, font)});
            current = face;
        }
        runs.back().end = i + len;
        i += len;
    }
    return runs;
}

HFONT GdiFonts::Get(const FontKey& font) { return Sized(*ChainFor(font).faces.front(), font); }

std::u16string GdiFonts::FaceName(const FontKey& font, char32_t c) { return FaceOf(ChainFor(font), c).family; }

}  // namespace mojian::html
