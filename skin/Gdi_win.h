// Owners for the GDI resources the engine makes: each releases exactly what
// it holds, once, and none can be copied.
#pragma once

#include <windows.h>

#include <utility>

namespace mojian::skin {

template <typename Handle, typename Traits>
class UniqueGdi {
public:
    UniqueGdi() = default;
    explicit UniqueGdi(Handle h) : h_(h) {}
    UniqueGdi(const UniqueGdi&) = delete;
    UniqueGdi& operator=(const UniqueGdi&) = delete;
    UniqueGdi(UniqueGdi&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    UniqueGdi& operator=(UniqueGdi&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.h_, nullptr));
        return *this;
    }
    ~UniqueGdi() { Reset(); }

    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    Handle release() { return std::exchange(h_, nullptr); }
    void Reset(Handle h = nullptr) {
        if (h_) Traits::Free(h_);
        h_ = h;
    }

private:
    Handle h_ = nullptr;
};

struct DeleteObjectTraits {
    static void Free(HGDIOBJ h) { ::DeleteObject(h); }
};
struct DeleteDcTraits {
    static void Free(HDC h) { ::DeleteDC(h); }
};

using Bitmap = UniqueGdi<HBITMAP, DeleteObjectTraits>;
using Brush = UniqueGdi<HBRUSH, DeleteObjectTraits>;
using Region = UniqueGdi<HRGN, DeleteObjectTraits>;
using Palette = UniqueGdi<HPALETTE, DeleteObjectTraits>;
// A context made with CreateDC or CreateCompatibleDC.
using OwnedDc = UniqueGdi<HDC, DeleteDcTraits>;

// A context borrowed from a window (GetWindowDC or GetDC), given back on exit.
class WindowDc {
public:
    enum Kind { Whole, Client };
    explicit WindowDc(HWND hwnd, Kind kind = Whole)
        : hwnd_(hwnd), dc_(kind == Whole ? ::GetWindowDC(hwnd) : ::GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ::ReleaseDC(hwnd_, dc_);
    }
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND hwnd_;
    HDC dc_;
};

class PaintDc {
public:
    explicit PaintDc(HWND hwnd) : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &ps_)) {}
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() { ::EndPaint(hwnd_, &ps_); }
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// An object selected into a context for one scope; the previous one comes back.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ obj) : dc_(dc), old_(dc && obj ? ::SelectObject(dc, obj) : nullptr) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() {
        if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

class PaletteSelection {
public:
    PaletteSelection(HDC dc, HPALETTE pal) : dc_(dc), old_(dc && pal ? ::SelectPalette(dc, pal, FALSE) : nullptr) {
        if (old_) ::RealizePalette(dc_);
    }
    PaletteSelection(const PaletteSelection&) = delete;
    PaletteSelection& operator=(const PaletteSelection&) = delete;
    ~PaletteSelection() {
        if (old_) {
            ::SelectPalette(dc_, old_, FALSE);
            ::RealizePalette(dc_);
        }
    }

private:
    HDC dc_;
    HPALETTE old_;
};

// A memory context with a bitmap of its own selected into it. Released in
// the order the selection needs: the bitmap comes out, the context goes,
// then the bitmap.
class Surface {
public:
    Surface() = default;
    Surface(OwnedDc dc, Bitmap bmp) : dc_(std::move(dc)), bmp_(std::move(bmp)) {
        if (dc_ && bmp_) old_ = ::SelectObject(dc_.get(), bmp_.get());
    }
    Surface(Surface&& o) noexcept
        : dc_(std::move(o.dc_)), bmp_(std::move(o.bmp_)), old_(std::exchange(o.old_, nullptr)) {}
    Surface& operator=(Surface&& o) noexcept {
        if (this != &o) {
            Release();
            dc_ = std::move(o.dc_);
            bmp_ = std::move(o.bmp_);
            old_ = std::exchange(o.old_, nullptr);
        }
        return *this;
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    ~Surface() { Release(); }

    HDC dc() const { return dc_.get(); }
    HBITMAP bitmap() const { return bmp_.get(); }
    explicit operator bool() const { return dc_ && bmp_; }

    void Release() {
        if (old_ && dc_) ::SelectObject(dc_.get(), old_);
        old_ = nullptr;
        dc_.Reset();
        bmp_.Reset();
    }

private:
    OwnedDc dc_;
    Bitmap bmp_;
    HGDIOBJ old_ = nullptr;
};

}  // namespace mojian::skin
