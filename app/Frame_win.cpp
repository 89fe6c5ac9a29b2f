#include "app/Frame_win.h"

#include <string>

#include "base/Scoped_win.h"
#include "base/WindowClass_win.h"

namespace mojian {

namespace {

// The frame's font lives with the form; the frame only remembers which one.
constexpr wchar_t kFontProp[] = L"MojianFrameFont";

HFONT FrameFont(HWND hwnd) { return static_cast<HFONT>(GetPropW(hwnd, kFontProp)); }

void OnPaint(HWND hwnd) {
    PaintDc paint(hwnd);
    const HDC dc = paint.get();
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));

    const HFONT font = FrameFont(hwnd) ? FrameFont(hwnd) : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    Selection selectFont(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);

    RECT border = rc;
    border.top += tm.tmHeight / 2;
    DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);

    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return;
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    caption.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, caption.data(), length + 1)));
    SIZE size{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    const int left = tm.tmAveCharWidth;
    RECT textRect{left, 0, left + size.cx + 4, tm.tmHeight};
    FillRect(dc, &textRect, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(hwnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    TextOutW(dc, left + 2, 0, caption.c_str(), static_cast<int>(caption.size()));
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_CONTEXTMENU:  // with the control that was clicked, which Wine's default would replace by the frame
        // The controls belong to the form; the frame only holds them.
        return SendMessageW(GetParent(hwnd), msg, wp, lp);
    case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_SETFONT:
        SetPropW(hwnd, kFontProp, reinterpret_cast<HANDLE>(wp));
        if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(FrameFont(hwnd));
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
    }
    case WM_NCDESTROY:
        RemovePropW(hwnd, kFontProp);
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

bool RegisterFrameClass(HINSTANCE instance) { return EnsureWindowClass(instance, kFrameClass, FrameProc); }

}  // namespace mojian
