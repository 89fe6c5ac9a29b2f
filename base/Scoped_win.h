// Owners for the Win32 resources the program makes or borrows: GDI objects,
// device contexts, selections, kernel handles, global memory, COM pointers
// and OLE strings and variants. Each gives back exactly what it holds,
// exactly once, when it goes out of scope; none can be copied; all can be
// moved (the moved-from owner then holds nothing).
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>
#include <wininet.h>

#include <string_view>
#include <type_traits>
#include <utility>

#include "base/Utf_win.h"

namespace mojian {

// A handle with one function that releases it. Traits name the handle type,
// the value that means "none" and the release function.
template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() = default;
    explicit ScopedHandle(Handle h) noexcept : h_(h) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& o) noexcept : h_(o.release()) {}
    ScopedHandle& operator=(ScopedHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~ScopedHandle() { reset(); }

    Handle get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return Traits::Valid(h_); }
    // Gives the handle up without releasing it (someone else owns it now).
    Handle release() noexcept { return std::exchange(h_, Traits::None()); }
    // Releases what it holds and takes `h` instead.
    void reset(Handle h = Traits::None()) noexcept {
        const Handle old = std::exchange(h_, h);
        if (Traits::Valid(old) && old != h) Traits::Free(old);
    }

private:
    Handle h_ = Traits::None();
};

// Traits for a handle that null means none of, released with `Release`.
template <typename H, auto Release>
struct NullableHandleTraits {
    using Handle = H;
    static H None() noexcept { return nullptr; }
    static bool Valid(H h) noexcept { return h != nullptr; }
    static void Free(H h) noexcept { Release(h); }
};

template <typename H>
using GdiObject = ScopedHandle<NullableHandleTraits<H, ::DeleteObject>>;
using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;
using Pen = GdiObject<HPEN>;
using Bitmap = GdiObject<HBITMAP>;
using Region = GdiObject<HRGN>;
using Palette = GdiObject<HPALETTE>;

// A device context made with CreateCompatibleDC or CreateDC (DeleteDC).
using OwnedDc = ScopedHandle<NullableHandleTraits<HDC, ::DeleteDC>>;

// A memory context like `compatibleWith` (the screen's when null).
inline OwnedDc CreateMemoryDc(HDC compatibleWith = nullptr) { return OwnedDc(::CreateCompatibleDC(compatibleWith)); }

// Memory from GlobalAlloc (GlobalFree); release() it once the clipboard has taken it.
using GlobalMemory = ScopedHandle<NullableHandleTraits<HGLOBAL, ::GlobalFree>>;

// A loaded module, or a reference taken on one (FreeLibrary).
using ModuleHandle = ScopedHandle<NullableHandleTraits<HMODULE, ::FreeLibrary>>;

// A kernel object's handle (CloseHandle). Both null and INVALID_HANDLE_VALUE
// mean none, as the functions that make them disagree on which they return.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static HANDLE None() noexcept { return nullptr; }
    static bool Valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) noexcept { ::CloseHandle(h); }
};
using KernelHandle = ScopedHandle<KernelHandleTraits>;

// A search of a folder from FindFirstFileW (FindClose).
struct FindHandleTraits {
    using Handle = HANDLE;
    static HANDLE None() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) noexcept { ::FindClose(h); }
};
using FindHandle = ScopedHandle<FindHandleTraits>;

// A WinINet session, connection or request (InternetCloseHandle).
using InternetHandle = ScopedHandle<NullableHandleTraits<HINTERNET, ::InternetCloseHandle>>;

// A context borrowed from a window with `Get` and given back with ReleaseDC.
template <HDC(WINAPI* Get)(HWND)>
class BorrowedDc {
public:
    BorrowedDc() = default;
    explicit BorrowedDc(HWND hwnd) : hwnd_(hwnd), dc_(Get(hwnd)) {}
    BorrowedDc(const BorrowedDc&) = delete;
    BorrowedDc& operator=(const BorrowedDc&) = delete;
    BorrowedDc(BorrowedDc&& o) noexcept : hwnd_(o.hwnd_), dc_(std::exchange(o.dc_, nullptr)) {}
    BorrowedDc& operator=(BorrowedDc&& o) noexcept {
        if (this != &o) {
            Give();
            hwnd_ = o.hwnd_;
            dc_ = std::exchange(o.dc_, nullptr);
        }
        return *this;
    }
    ~BorrowedDc() { Give(); }

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    void Give() noexcept {
        if (dc_) ::ReleaseDC(hwnd_, std::exchange(dc_, nullptr));
    }
    HWND hwnd_ = nullptr;
    HDC dc_ = nullptr;
};
using ClientDc = BorrowedDc<::GetDC>;        // the client area (the screen for a null window)
using WindowDc = BorrowedDc<::GetWindowDC>;  // the whole window, frame included

// BeginPaint for one WM_PAINT, EndPaint at the end of the scope.
class PaintDc {
public:
    explicit PaintDc(HWND hwnd) : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &ps_)) {}
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    PaintDc(PaintDc&& o) noexcept : hwnd_(std::exchange(o.hwnd_, nullptr)), ps_(o.ps_), dc_(std::exchange(o.dc_, nullptr)) {}
    PaintDc& operator=(PaintDc&&) = delete;
    ~PaintDc() {
        if (hwnd_) ::EndPaint(hwnd_, &ps_);
    }

    HDC get() const noexcept { return dc_; }
    // What needs painting, in client coordinates.
    const RECT& area() const noexcept { return ps_.rcPaint; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// An object selected into a context for one scope; the previous one comes back.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    Selection(Selection&& o) noexcept : dc_(o.dc_), old_(std::exchange(o.old_, nullptr)) {}
    Selection& operator=(Selection&&) = delete;
    ~Selection() {
        if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A context's state saved for one scope (SaveDC), restored at its end:
// clipping, selections and modes set meanwhile are undone.
class SaveDc {
public:
    explicit SaveDc(HDC dc) : dc_(dc), level_(dc ? ::SaveDC(dc) : 0) {}
    SaveDc(const SaveDc&) = delete;
    SaveDc& operator=(const SaveDc&) = delete;
    ~SaveDc() {
        if (level_ > 0) ::RestoreDC(dc_, level_);
    }

private:
    HDC dc_;
    int level_;
};

// A palette selected into a context and realised for one scope.
class PaletteSelection {
public:
    PaletteSelection(HDC dc, HPALETTE palette)
        : dc_(dc), old_(dc && palette ? ::SelectPalette(dc, palette, FALSE) : nullptr) {
        if (old_) ::RealizePalette(dc_);
    }
    PaletteSelection(const PaletteSelection&) = delete;
    PaletteSelection& operator=(const PaletteSelection&) = delete;
    PaletteSelection(PaletteSelection&& o) noexcept : dc_(o.dc_), old_(std::exchange(o.old_, nullptr)) {}
    PaletteSelection& operator=(PaletteSelection&&) = delete;
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
    Surface(OwnedDc dc, Bitmap bitmap) : dc_(std::move(dc)), bitmap_(std::move(bitmap)) {
        if (dc_ && bitmap_) old_ = ::SelectObject(dc_.get(), bitmap_.get());
    }
    Surface(Surface&& o) noexcept
        : dc_(std::move(o.dc_)), bitmap_(std::move(o.bitmap_)), old_(std::exchange(o.old_, nullptr)) {}
    Surface& operator=(Surface&& o) noexcept {
        if (this != &o) {
            reset();
            dc_ = std::move(o.dc_);
            bitmap_ = std::move(o.bitmap_);
            old_ = std::exchange(o.old_, nullptr);
        }
        return *this;
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    ~Surface() { reset(); }

    HDC dc() const noexcept { return dc_.get(); }
    HBITMAP bitmap() const noexcept { return bitmap_.get(); }
    explicit operator bool() const noexcept { return dc_ && bitmap_; }

    void reset() noexcept {
        if (old_ && old_ != HGDI_ERROR && dc_) ::SelectObject(dc_.get(), old_);
        old_ = nullptr;
        dc_.reset();
        bitmap_.reset();
    }

private:
    OwnedDc dc_;
    Bitmap bitmap_;
    HGDIOBJ old_ = nullptr;
};

// A COM interface pointer holding one reference.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over one reference the caller holds (a fresh object's, say).
    explicit ComPtr(T* adopt) noexcept : p_(adopt) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    // A reference of its own to what `other` holds, seen as a base interface.
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    static ComPtr Share(const ComPtr<U>& other) noexcept {
        if (other) other->AddRef();
        return ComPtr(other.get());
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // For functions that hand out a reference: lets go of the current one first.
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }

private:
    T* p_ = nullptr;
};

// A BSTR (SysFreeString).
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text)
        : s_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    static Bstr FromUtf8(std::string_view utf8) { return Bstr(Wide(utf8)); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) ::SysFreeString(std::exchange(s_, std::exchange(o.s_, nullptr)));
        return *this;
    }
    ~Bstr() { ::SysFreeString(s_); }

    BSTR get() const noexcept { return s_; }

private:
    BSTR s_ = nullptr;
};

// A VARIANT, cleared (VariantClear) when it goes.
class Variant {
public:
    Variant() noexcept { ::VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& o) noexcept : v_(o.v_) { ::VariantInit(&o.v_); }
    Variant& operator=(Variant&& o) noexcept {
        if (this != &o) {
            ::VariantClear(&v_);
            v_ = o.v_;
            ::VariantInit(&o.v_);
        }
        return *this;
    }
    ~Variant() { ::VariantClear(&v_); }

    VARIANT& get() noexcept { return v_; }

private:
    VARIANT v_;
};

}  // namespace mojian
