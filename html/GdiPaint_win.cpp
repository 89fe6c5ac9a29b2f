#include "html/GdiPaint_win.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace mojian::html {

namespace {

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

// The picture scaled to `r`, blended over what is there (its pixels are
// premultiplied); false when it cannot be drawn.
bool DrawPicture(HDC dc, const Picture& picture, const RECT& r) {
    const auto w = static_cast<std::size_t>(std::max(0, picture.width));
    const auto h = static_cast<std::size_t>(std::max(0, picture.height));
    if (w == 0 || h == 0 || picture.pixels.size() < w * h) return false;
    if (r.right <= r.left || r.bottom <= r.top) return true;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = picture.width;
    bi.bmiHeader.biHeight = -picture.height;  // rows top to bottom, as the picture has them
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    OwnedDc memory = CreateMemoryDc(dc);
    Bitmap bitmap(CreateDIBSection(memory.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap || !bits) return false;
    std::memcpy(bits, picture.pixels.data(), w * h * sizeof(std::uint32_t));
    const Surface source(std::move(memory), std::move(bitmap));
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, source.dc(), 0, 0, picture.width,
                      picture.height, blend) != FALSE;
}

}  // namespace

void PaintLayout(HDC dc, const PageLayout& page, GdiFonts& fonts, PictureSource& pictures, int ox, int oy,
                 const RECT& clip) {
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
        case PaintOp::Kind::Picture: {
            const std::shared_ptr<const Picture> pixels = pictures.Pixels(op.url);
            if (!pixels || !DrawPicture(dc, *pixels, r)) DrawBroken(dc, op, r, fonts, page);
            break;
        }
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
