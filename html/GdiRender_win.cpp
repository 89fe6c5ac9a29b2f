#include "html/GdiRender_win.h"

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

// Device coordinates stay far inside LONG whatever sizes a page asks for.
LONG Device(float v) { return static_cast<LONG>(std::lround(std::clamp(v, -1.0e8f, 1.0e8f))); }

RECT ToRect(const Rect& r, int ox, int oy) {
    const LONG left = Device(r.x) + ox, top = Device(r.y) + oy;
    return RECT{left, top, left + Device(r.w), top + Device(r.h)};
}

COLORREF Ref(Color c) { return RGB((c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff); }

void FillColour(HDC dc, const RECT& r, Color c) {
    // SetDCBrushColor avoids a brush per rectangle.
    SetDCBrushColor(dc, Ref(c));
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void DrawBroken(HDC dc, const PaintOp& op, const RECT& r, GdiFonts& fonts, const PageLayout& page) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    // A browser's broken picture: a grey frame, a small picture sign, the alt text.
    FillColour(dc, RECT{r.left, r.top, r.right, r.top + 1}, 0xc0c0c0);
    FillColour(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, 0xc0c0c0);
    FillColour(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, 0xc0c0c0);
    FillColour(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, 0xc0c0c0);
    int textLeft = r.left + 3;
    if (r.right - r.left >= 24 && r.bottom - r.top >= 22) {
        const RECT icon{r.left + 3, r.top + 3, r.left + 19, r.top + 19};
        FillColour(dc, icon, 0x9aa5b1);
        FillColour(dc, RECT{icon.left + 1, icon.top + 1, icon.right - 1, icon.bottom - 1}, 0xf4f6f8);
        FillColour(dc, RECT{icon.left + 3, icon.top + 9, icon.left + 8, icon.bottom - 3}, 0x6aa84f);
        FillColour(dc, RECT{icon.left + 8, icon.top + 6, icon.right - 3, icon.bottom - 3}, 0x4a86c5);
        textLeft = icon.right + 4;
    }
    if (op.text.empty() || op.font < 0 || static_cast<std::size_t>(op.font) >= page.fonts.size()) return;
    Selection font(dc, fonts.Get(page.fonts[static_cast<std::size_t>(op.font)]));
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    SetTextColor(dc, Ref(op.color));  // browsers show alt text in the element's colour
    SetTextCharacterExtra(dc, 0);
    // The alt text wraps at its spaces inside the box and is cut at its edges.
    RECT text{textLeft, r.top + 4, r.right - 2, r.bottom - 1};
    if (text.right > text.left && text.bottom > text.top)
        DrawTextW(dc, reinterpret_cast<const wchar_t*>(op.text.c_str()), static_cast<int>(op.text.size()), &text,
                  DT_LEFT | DT_TOP | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
}

}  // namespace

GdiFonts::GdiFonts() : dc_(nullptr) {}

HFONT GdiFonts::Get(const FontKey& want) { return Usable(EntryFor(want)); }

HFONT GdiFonts::Usable(const Entry& entry) {
    const HFONT font = entry.font->get();
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
    fonts_.push_back({want, std::make_unique<GdiObject<HFONT>>(CreateFontIndirectW(&lf)), {}});
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

void PaintLayout(HDC dc, const PageLayout& page, GdiFonts& fonts, int ox, int oy, const RECT& clip) {
    const int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    std::vector<int> clips;
    for (const PaintOp& op : page.ops) {
        if (op.kind == PaintOp::Kind::ClipPush) {
            clips.push_back(SaveDC(dc));
            const RECT r = ToRect(op.rect, ox, oy);
            IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
            continue;
        }
        if (op.kind == PaintOp::Kind::ClipPop) {
            if (!clips.empty()) {
                RestoreDC(dc, clips.back());
                clips.pop_back();
                SetBkMode(dc, TRANSPARENT);
            }
            continue;
        }
        const RECT r = ToRect(op.rect, ox, oy);
        // Text may reach a little past its box (italics, accents).
        if (r.bottom + 4 < clip.top || r.top - 4 > clip.bottom || r.right + 8 < clip.left || r.left - 8 > clip.right)
            continue;
        switch (op.kind) {
        case PaintOp::Kind::Fill: FillColour(dc, r, op.color); break;
        case PaintOp::Kind::BrokenImage: DrawBroken(dc, op, r, fonts, page); break;
        case PaintOp::Kind::Text: {
            if (op.font < 0 || static_cast<std::size_t>(op.font) >= page.fonts.size()) break;
            const FontKey& want = page.fonts[static_cast<std::size_t>(op.font)];
            Selection font(dc, fonts.Get(want));
            SetTextAlign(dc, TA_LEFT | TA_BASELINE);
            SetTextColor(dc, Ref(op.color));
            SetTextCharacterExtra(dc, static_cast<int>(std::lround(op.letterSpacing)));
            const int base = Device(op.baseline) + oy;
            TextOutW(dc, r.left, base, reinterpret_cast<const wchar_t*>(op.text.c_str()), static_cast<int>(op.text.size()));
            const int thick = std::max(1, want.size / 16);
            if (op.underline) FillColour(dc, RECT{r.left, base + 2, r.right, base + 2 + thick}, op.color);
            if (op.strike) {
                const int y = base - std::max(2, want.size * 3 / 10);
                FillColour(dc, RECT{r.left, y, r.right, y + thick}, op.color);
            }
            break;
        }
        default: break;
        }
    }
    RestoreDC(dc, saved);
}

}  // namespace mojian::html
