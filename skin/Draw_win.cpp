#include "skin/Draw_win.h"

#include <olectl.h>

#include <algorithm>
#include <optional>

namespace mojian::skin {

namespace {

// A surface kept between calls and grown to the largest size asked for; a
// colour one has the halftone palette realised once, when it is made.
class Scratch {
public:
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() { Release(); }

    HDC Get(HDC ref, int w, int h, bool mono, HPALETTE palette) {
        if (surface_ && w <= width_ && h <= height_) return surface_.dc();
        Release();
        const int W = std::max(w, width_), H = std::max(h, height_);
        surface_ = Surface(OwnedDc(::CreateCompatibleDC(ref)),
                           Bitmap(mono ? ::CreateBitmap(W, H, 1, 1, nullptr) : ::CreateCompatibleBitmap(ref, W, H)));
        if (!surface_) return nullptr;
        width_ = W;
        height_ = H;
        if (!mono && palette) {
            oldPalette_ = ::SelectPalette(surface_.dc(), palette, FALSE);
            if (oldPalette_) ::RealizePalette(surface_.dc());
        }
        return surface_.dc();
    }
    void Release() {
        if (oldPalette_ && surface_) ::SelectPalette(surface_.dc(), oldPalette_, FALSE);
        oldPalette_ = nullptr;
        surface_.reset();
    }

private:
    Surface surface_;
    int width_ = 0, height_ = 0;
    HPALETTE oldPalette_ = nullptr;
};

// Making a display context costs round trips to the window system, and so,
// under Wine, do the contexts and bitmaps a keyed copy needs (about 0.5 ms
// for a 5 x 5 mark). One paint of the skin draws dozens of small pieces, so
// while the skin has windows it keeps one display context with its halftone
// palette, and the scratch surfaces the drawing routines work in.
struct HeldDisplay {
    OwnedDc dc;
    Palette halftone;
    Scratch grid, work, source, mask;  // released before the palette and the context

    void Release() {
        for (Scratch* s : {&grid, &work, &source, &mask}) s->Release();
        halftone.reset();
        dc.reset();
    }
};

HeldDisplay& Held() {
    static HeldDisplay held;
    return held;
}

// The display context to make surfaces from: the held one, or a new one
// that `temporary` owns for the length of the caller's drawing.
HDC DisplayDc(OwnedDc& temporary) {
    if (Held().dc) return Held().dc.get();
    temporary = OwnedDc(::CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    return temporary.get();
}

// A compatible bitmap of w x h in a new context, with a palette realised.
struct WorkCopy {
    WorkCopy(HDC ref, int w, int h, HPALETTE pal)
        : surface(OwnedDc(::CreateCompatibleDC(ref)), Bitmap(::CreateCompatibleBitmap(ref, w, h))),
          palette(surface.dc(), pal) {}
    Surface surface;
    PaletteSelection palette;
};

}  // namespace

void HoldDisplay() {
    HeldDisplay& held = Held();
    if (held.dc) return;
    held.dc = OwnedDc(::CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (held.dc) held.halftone.reset(::CreateHalftonePalette(held.dc.get()));
}

void ReleaseDisplay() { Held().Release(); }

Surface NewSurface(int width, int height) {
    OwnedDc temporary;
    const HDC ref = DisplayDc(temporary);
    if (!ref) return {};
    OwnedDc dc(::CreateCompatibleDC(ref));
    if (!dc) return {};
    Bitmap bmp(::CreateCompatibleBitmap(ref, width, height));
    if (!bmp) return {};
    return Surface(std::move(dc), std::move(bmp));
}

int NineGridBlt(HDC dst, int dx, int dy, int dw, int dh, HDC src, int sx, int sy, int sw, int sh, int L, int T,
                int R, int B, std::optional<OleColour> key) {
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return 0;
    // Drawn at its own size (a 13 x 13 glyph), the nine regions are the
    // source itself: copy it straight, without the nine copies in between.
    // Only for colour sources: a monochrome one would take the colours of
    // a different context on the way.
    BITMAP source{};
    if (dw == sw && dh == sh && ::GetObjectW(::GetCurrentObject(src, OBJ_BITMAP), sizeof source, &source) &&
        source.bmBitsPixel > 1) {
        if (!key) return ::BitBlt(dst, dx, dy, dw, dh, src, sx, sy, SRCCOPY);
        KeyedBlt(dst, dx, dy, dw, dh, src, sx, sy, *key);
        return 1;
    }
    Surface own;
    HDC d = nullptr;
    if (HeldDisplay& held = Held(); held.dc) {
        d = held.grid.Get(held.dc.get(), dw, dh, false, nullptr);
    } else {
        own = NewSurface(dw, dh);
        d = own.dc();
    }
    if (!d) return 0;
    if (L == 0 && T == 0 && R == 0 && B == 0) {
        ::StretchBlt(d, 0, 0, dw, dh, src, sx, sy, sw, sh, SRCCOPY);
    } else {
        if (L > 0 && T > 0) ::BitBlt(d, 0, 0, L, T, src, sx, sy, SRCCOPY);
        if (R > 0 && T > 0) ::BitBlt(d, dw - R, 0, R, T, src, sx + sw - R, sy, SRCCOPY);
        if (L > 0 && B > 0) ::BitBlt(d, 0, dh - B, L, B, src, sx, sy + sh - B, SRCCOPY);
        if (R > 0 && B > 0) ::BitBlt(d, dw - R, dh - B, R, B, src, sx + sw - R, sy + sh - B, SRCCOPY);
        if (L > 0) ::StretchBlt(d, 0, T, L, dh - T - B, src, sx, sy + T, L, sh - T - B, SRCCOPY);
        if (R > 0) ::StretchBlt(d, dw - R, T, R, dh - T - B, src, sx + sw - R, sy + T, R, sh - T - B, SRCCOPY);
        if (T > 0) ::StretchBlt(d, L, 0, dw - L - R, T, src, sx + L, sy, sw - L - R, T, SRCCOPY);
        if (B > 0) ::StretchBlt(d, L, dh - B, dw - L - R, B, src, sx + L, sy + sh - B, sw - L - R, B, SRCCOPY);
        ::StretchBlt(d, L, T, dw - L - R, dh - T - B, src, sx + L, sy + T, sw - L - R, sh - T - B, SRCCOPY);
    }
    if (!key) return ::BitBlt(dst, dx, dy, dw, dh, d, 0, 0, SRCCOPY);
    KeyedBlt(dst, dx, dy, dw, dh, d, 0, 0, *key);
    return 1;
}

void KeyedBlt(HDC dst, int dx, int dy, int w, int h, HDC src, int sx, int sy, OleColour key, HPALETTE palette) {
    OwnedDc temporary;
    const HDC ref = DisplayDc(temporary);
    if (!ref) return;
    Palette halftone;
    if (!palette) palette = Held().halftone.get();
    if (!palette) {
        halftone.reset(::CreateHalftonePalette(ref));
        palette = halftone.get();
    }
    COLORREF rgb = 0;
    if (FAILED(::OleTranslateColor(key, palette, &rgb))) return;
    rgb &= 0xFFFFFF;

    std::optional<WorkCopy> work, source;
    Surface mask;
    HDC wdc = nullptr, sdc = nullptr, mdc = nullptr;
    if (HeldDisplay& held = Held(); held.dc && palette == held.halftone.get()) {
        wdc = held.work.Get(ref, w, h, false, palette);
        sdc = held.source.Get(ref, w, h, false, palette);
        mdc = held.mask.Get(ref, w, h, true, nullptr);
    } else {
        work.emplace(ref, w, h, palette);
        source.emplace(ref, w, h, palette);
        mask = Surface(OwnedDc(::CreateCompatibleDC(ref)), Bitmap(::CreateBitmap(w, h, 1, 1, nullptr)));
        wdc = work->surface.dc();
        sdc = source->surface.dc();
        mdc = mask.dc();
    }
    if (!wdc || !sdc || !mdc) return;

    ::BitBlt(wdc, 0, 0, w, h, dst, dx, dy, SRCCOPY);
    ::SetBkColor(sdc, ::GetBkColor(src));
    ::SetTextColor(sdc, ::GetTextColor(src));
    ::BitBlt(sdc, 0, 0, w, h, src, sx, sy, SRCCOPY);

    // Key pixels become 1 in the mask, all others 0.
    ::SetBkColor(sdc, rgb);
    ::SetTextColor(sdc, RGB(255, 255, 255));
    ::BitBlt(mdc, 0, 0, w, h, sdc, 0, 0, SRCCOPY);

    // The key pixels of the source turn black (destination AND NOT mask).
    ::SetTextColor(sdc, RGB(0, 0, 0));
    ::SetBkColor(sdc, RGB(255, 255, 255));
    ::BitBlt(sdc, 0, 0, w, h, mdc, 0, 0, 0x00220326);

    // The work copy keeps the destination under the key and is black
    // elsewhere; the source is then laid into the black.
    ::SetTextColor(wdc, RGB(0, 0, 0));
    ::SetBkColor(wdc, RGB(255, 255, 255));
    ::BitBlt(wdc, 0, 0, w, h, mdc, 0, 0, SRCAND);
    ::BitBlt(wdc, 0, 0, w, h, sdc, 0, 0, SRCPAINT);

    ::BitBlt(dst, dx, dy, w, h, wdc, 0, 0, SRCCOPY);
}

int FillBox(HDC dc, int x, int y, int width, int height, COLORREF colour) {
    const Brush brush(::CreateSolidBrush(colour));
    const RECT r{x, y, x + width, y + height};
    return ::FillRect(dc, &r, brush.get());
}

int FrameBox(HDC dc, int x, int y, int width, int height, COLORREF colour) {
    const Brush brush(::CreateSolidBrush(colour));
    const RECT r{x, y, x + width, y + height};
    return ::FrameRect(dc, &r, brush.get());
}

int FocusBox(HDC dc, int x, int y, int width, int height) {
    const RECT r{x, y, x + width, y + height};
    return ::DrawFocusRect(dc, &r);
}

int DrawCaption(HDC dc, std::wstring_view text, int x, int y, int width, int height, UINT format) {
    RECT r{x, y, x + width, y + height};
    return ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &r, format);
}

SkinSurfaces BuildSkinBitmaps() {
    SkinSurfaces out;
    for (int i = 0; i < SkinBitmapCount; ++i) {
        const SkinImage& art = SkinArt(static_cast<SkinBitmap>(i));
        Surface s = NewSurface(art.width, art.height);
        if (s) {
            BITMAPINFO bi{};
            bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
            bi.bmiHeader.biWidth = art.width;
            bi.bmiHeader.biHeight = -art.height;  // top-down, as the table runs
            bi.bmiHeader.biPlanes = 1;
            bi.bmiHeader.biBitCount = 32;
            bi.bmiHeader.biCompression = BI_RGB;
            ::SetDIBitsToDevice(s.dc(), 0, 0, static_cast<DWORD>(art.width), static_cast<DWORD>(art.height), 0, 0,
                                0, static_cast<UINT>(art.height), art.pixels.data(), &bi, DIB_RGB_COLORS);
        }
        out[static_cast<std::size_t>(i)] = std::move(s);
    }
    return out;
}

}  // namespace mojian::skin
