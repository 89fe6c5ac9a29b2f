// Real windows and real GDI for the skin's tests under Wine: a test form,
// 32-bpp canvases to read pixels from, and the count of live GDI objects.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/Scoped_win.h"

namespace mojian::testing {

// A COLORREF (0x00BBGGRR) as 0xRRGGBB, the way canvases read pixels.
inline std::uint32_t Rrggbb(std::uint32_t colorref) {
    return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

// Live GDI objects of this process. Wine's GetGuiResources is a stub that
// answers 0; there the count is what the handle table cannot hand out any
// more: brushes are made until it is full, then all deleted again.
inline int LiveGdiObjects() {
    SetLastError(0);
    const DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (n != 0) return static_cast<int>(n);
    std::vector<HBRUSH> probe;
    probe.reserve(70000);
    while (probe.size() < 200000) {
        HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
        if (!b) break;
        probe.push_back(b);
    }
    for (HBRUSH b : probe) DeleteObject(b);
    return 65536 - static_cast<int>(probe.size());
}

// Pumps the thread's messages for a while (or until `done` says so).
template <typename Done>
inline bool PumpUntil(Done done, DWORD capMs = 3000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (GetTickCount() - start > capMs) return done();
        Sleep(5);
    }
    return true;
}
inline void Pump(DWORD ms = 100) {
    const DWORD start = GetTickCount();
    PumpUntil([&] { return GetTickCount() - start >= ms; }, ms + 50);
}

// A 32-bpp top-down DIB section in a memory context.
class Canvas {
public:
    Canvas(int w, int h, std::uint32_t fill = 0x808080) : w_(w), h_(h) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        OwnedDc dc = CreateMemoryDc();
        Bitmap bitmap(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0));
        surface_ = Surface(std::move(dc), std::move(bitmap));
        for (int i = 0; i < w * h; ++i) bits_[i] = fill;
    }
    HDC dc() const { return surface_.dc(); }
    int width() const { return w_; }
    int height() const { return h_; }
    // 0xRRGGBB
    // How many pixels lie within `tol` of a colour on every channel.
    int CountNear(std::uint32_t rrggbb, int tol) const {
        int n = 0;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) {
                const std::uint32_t p = At(x, y);
                bool within = true;
                for (int sh : {0, 8, 16}) {
                    const int d = static_cast<int>((p >> sh) & 0xFF) - static_cast<int>((rrggbb >> sh) & 0xFF);
                    within = within && d <= tol && d >= -tol;
                }
                n += within;
            }
        return n;
    }
    std::uint32_t At(int x, int y) const {
        GdiFlush();
        return bits_[y * w_ + x] & 0xFFFFFF;
    }
    void Set(int x, int y, std::uint32_t rrggbb) {
        GdiFlush();
        bits_[y * w_ + x] = rrggbb;
    }

private:
    int w_, h_;
    std::uint32_t* bits_ = nullptr;
    Surface surface_;
};

// What a window shows: its window context read back into a canvas.
inline void ReadWindow(HWND hwnd, Canvas& into) {
    const WindowDc dc(hwnd);
    BitBlt(into.dc(), 0, 0, into.width(), into.height(), dc.get(), 0, 0, SRCCOPY);
}

// What a window shows now, read into a canvas of the window's size.
inline std::unique_ptr<Canvas> Shown(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    auto c = std::make_unique<Canvas>(r.right - r.left, r.bottom - r.top);
    ReadWindow(hwnd, *c);
    return c;
}

// A window property's value, 0 when it is missing.
inline std::intptr_t Prop(HWND hwnd, const char* name) {
    return reinterpret_cast<std::intptr_t>(GetPropA(hwnd, name));
}

inline void CopyFrom(HDC src, Canvas& into) {
    BitBlt(into.dc(), 0, 0, into.width(), into.height(), src, 0, 0, SRCCOPY);
}

// One visible top-level window for the whole test program: under Wine
// without a window manager every top-level window that is shown and hidden
// costs a second, while child windows are cheap.
inline HWND TestHost() {
    static const HWND host = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = L"Mojian.TestHost";
        RegisterClassW(&wc);
        return CreateWindowExW(0, L"Mojian.TestHost", L"墨笺 测试", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN,
                               20, 20, 700, 500, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }();
    return host;
}

// A form of the program's kind ("Mojian." classes are forms), made a child
// of the test host so that it comes and goes cheaply.
class TestForm {
public:
    explicit TestForm(int w = 420, int h = 220, const wchar_t* cls = L"Mojian.TestForm", bool visible = true) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = cls;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        RegisterClassW(&wc);  // a second registration fails harmlessly
        hwnd_ = CreateWindowExW(0, cls, L"form", WS_CHILD | (visible ? WS_VISIBLE : 0) | WS_CLIPCHILDREN, 10, 10, w, h, TestHost(),
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        font_.reset(CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, 0, L"宋体"));
    }
    TestForm(const TestForm&) = delete;
    TestForm& operator=(const TestForm&) = delete;
    ~TestForm() {
        if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    }
    HWND hwnd() const { return hwnd_; }
    HWND Add(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, DWORD exStyle = 0) {
        HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, hwnd_, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        return c;
    }
    HWND Button(const wchar_t* text, int x, int y, int w = 75, int h = 23, DWORD type = BS_PUSHBUTTON) {
        return Add(L"Button", text, WS_TABSTOP | type, x, y, w, h);
    }
    void Destroy() { DestroyWindow(hwnd_); }

private:
    HWND hwnd_ = nullptr;
    Font font_;
};

struct PropSearch {
    const char* name;
    bool found;
};
inline BOOL CALLBACK FindPropA(HWND, LPSTR n, HANDLE, ULONG_PTR p) {
    auto* f = reinterpret_cast<PropSearch*>(p);
    if (!IS_INTRESOURCE(n) && lstrcmpA(n, f->name) == 0) f->found = true;
    return TRUE;
}
// Whether a property of that name is set, whatever its value (0 included).
inline bool HasPropA(HWND hwnd, const char* name) {
    PropSearch f{name, false};
    EnumPropsExA(hwnd, FindPropA, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

inline constexpr const char* kButtonProps[] = {"PROCADDR", "OLDSTYLE", "MOUSEFLAG", "TIMERID", "OLDSTATE", "ALPHALEVEL",
                                               "0HDC", "1HDC", "2HDC", "3HDC", "0BMP", "1BMP", "2BMP", "3BMP"};

}  // namespace mojian::testing
