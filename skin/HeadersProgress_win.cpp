// Headers and progress bars are painted whole, off screen and copied in one
// go; every other skinned window with a sunken client edge gets a flat
// one-pixel frame in its place, and lists and grids a frame after their
// own painting.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "skin/Draw_win.h"
#include "skin/SkinFrame_win.h"

namespace mojian::skin {

namespace {

// The progress bars' own message for their position.
constexpr UINT ProgressGetPos = 0x0408;

COLORREF FrameColour(HWND hwnd) { return ::IsWindowEnabled(hwnd) ? BorderColour : DisabledBorderColour; }

// --- headers ------------------------------------------------------------------------

// Tile x in the header skin for normal, hot and pressed items.
int HeaderTileX(int state) { return 3 * state; }

int ItemCount(HWND header) { return static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)); }

RECT ItemRect(HWND header, int i) {
    RECT r{};
    ::SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    return r;
}

// Wide text, so that the program's Chinese captions come through whole.
std::wstring ItemText(HWND header, int i) {
    wchar_t buf[256] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = buf;
    item.cchTextMax = 256;
    ::SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    std::wstring text(item.pszText ? item.pszText : buf);
    std::erase(text, L'\0');
    return text;
}

int HeaderHitAt(HWND header, LPARAM lParam) {
    const int n = ItemCount(header);
    if (n <= 0) return -1;
    std::vector<Span> spans(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const RECT r = ItemRect(header, i);
        spans[static_cast<std::size_t>(i)] = {r.left, r.right};
    }
    return HeaderHit(spans.data(), n, LowWord(static_cast<std::uintptr_t>(lParam)));
}

void ItemFace(HWND header, HDC dc, int x, int w, int h, int textBottom, int state, const std::wstring& text) {
    NineGridBlt(dc, x, 0, w, h, SkinDc(SkinBitmap::Header), HeaderTileX(state), 0, 3, 20, 1, 1, 1, 1);
    if (text.empty()) return;
    Selection font(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(header, WM_GETFONT, 0, 0)));
    ::SetBkMode(dc, TRANSPARENT);
    DrawCaption(dc, text, x, 0, w, textBottom, CaptionFormat);
}

LRESULT HeaderPaint(const SkinMessage& m) {
    const Box b = WindowBox(m.hwnd);
    Surface s = NewSurface(b.width, b.height);
    PaintDc pdc(m.hwnd);
    if (!s) return 0;
    ::StretchBlt(s.dc(), 0, 0, b.width, b.height, SkinDc(SkinBitmap::Header), 1, 0, 1, 20, SRCCOPY);
    const int pressed = static_cast<int>(PropInt(m.hwnd, PropHdIndex));
    const int hot = static_cast<int>(PropInt(m.hwnd, PropHmIndex));
    const int n = ItemCount(m.hwnd);
    for (int i = 0; i < n; ++i) {
        const RECT r = ItemRect(m.hwnd, i);
        const int state = i == pressed ? 2 : i == hot ? 1 : 0;
        ItemFace(m.hwnd, s.dc(), r.left, r.right - r.left, b.height, r.bottom, state, ItemText(m.hwnd, i));
    }
    ::BitBlt(pdc.get(), 0, 0, b.width, b.height, s.dc(), 0, 0, SRCCOPY);
    return 0;
}

LRESULT HeaderMouseMove(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    ArmLeave(m.hwnd);
    const int now = HeaderHitAt(m.hwnd, m.lParam);
    const int oldHot = static_cast<int>(PropInt(m.hwnd, PropHmIndex));
    const int pressed = static_cast<int>(PropInt(m.hwnd, PropHdIndex));
    if (now == oldHot) return r;
    if (oldHot >= 0 && oldHot != pressed) PaintHeaderItem(m.hwnd, nullptr, oldHot, 0);
    if ((m.wParam & MK_LBUTTON) == 0) {
        SetPropInt(m.hwnd, PropHmIndex, now);
        PaintHeaderItem(m.hwnd, nullptr, now, 1);
    } else if (now == pressed) {
        PaintHeaderItem(m.hwnd, nullptr, now, 2);
    }
    return r;
}

LRESULT HeaderLeftDown(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    if (ItemCount(m.hwnd) > 0) {
        const int i = HeaderHitAt(m.hwnd, m.lParam);
        SetPropInt(m.hwnd, PropHdIndex, i);
        if (i >= 0) PaintHeaderItem(m.hwnd, nullptr, i, 2);
    }
    return r;
}

LRESULT HeaderLeftUp(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    const int i = static_cast<int>(PropInt(m.hwnd, PropHdIndex));
    SetPropInt(m.hwnd, PropHdIndex, -1);
    if (i >= 0) PaintHeaderItem(m.hwnd, nullptr, i, UnderCursor(m.hwnd) ? 1 : 0);
    return r;
}

LRESULT HeaderMouseLeave(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    const int oldHot = static_cast<int>(PropInt(m.hwnd, PropHmIndex));
    SetPropInt(m.hwnd, PropMouseFlag, 0);
    SetPropInt(m.hwnd, PropHdIndex, -1);
    SetPropInt(m.hwnd, PropHmIndex, -1);
    if (oldHot >= 0) PaintHeaderItem(m.hwnd, nullptr, oldHot, 0);
    return r;
}

// --- progress bars --------------------------------------------------------------------

int Position(HWND bar) { return static_cast<int>(::SendMessageW(bar, ProgressGetPos, 0, 0)); }

LRESULT ProgressPaint(const SkinMessage& m) {
    RECT c{};
    ::GetClientRect(m.hwnd, &c);
    const int cw = c.right, ch = c.bottom;
    const int pos = Position(m.hwnd);
    Surface s = NewSurface(cw, ch);
    PaintDc pdc(m.hwnd);
    if (!s) return 0;
    FillBox(s.dc(), 0, 0, cw, ch, White);
    if (pos != 0) {
        if (StyleOf(m.hwnd) & PBS_VERTICAL) {
            const int len = BarLength(pos, ch);
            FillBox(s.dc(), 0, ch - len, cw, len, BarColour);
        } else {
            FillBox(s.dc(), 0, 0, BarLength(pos, cw), ch, BarColour);
        }
    }
    ::BitBlt(pdc.get(), 0, 0, cw, ch, s.dc(), 0, 0, SRCCOPY);
    return 0;
}

LRESULT ProgressNcPaint(const SkinMessage& m) {
    const Box b = WindowBox(m.hwnd);
    const Borders e = BorderWidths(m.hwnd);
    RECT c{};
    ::GetClientRect(m.hwnd, &c);
    const int cw = c.right, ch = c.bottom;
    const int pos = Position(m.hwnd);
    Surface s = NewSurface(b.width, b.height);
    if (!s) return 0;
    FillBox(s.dc(), 0, 0, b.width, b.height, BorderColour);
    FillBox(s.dc(), 1, 1, b.width - 2, b.height - 2, White);
    if (pos != 0) {
        if (StyleOf(m.hwnd) & PBS_VERTICAL) {
            if (StyleOf(m.hwnd) & PBS_SMOOTH) FillBox(s.dc(), e.bx, e.by, cw, ch, BarColour);
            FillBox(s.dc(), e.bx, e.by, cw, ch - BarLength(pos, ch), White);
        } else {
            FillBox(s.dc(), e.bx, e.by, BarLength(pos, cw), ch, BarColour);
        }
    }
    WindowDc dc(m.hwnd);
    if (dc) ::BitBlt(dc.get(), 0, 0, b.width, b.height, s.dc(), 0, 0, SRCCOPY);
    return 0;
}

// --- lists and grids ----------------------------------------------------------------------

LRESULT FramedPaint(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    const Box b = WindowBox(m.hwnd);
    WindowDc dc(m.hwnd);
    if (!dc) return r;
    if (m.group == ClassGroup::Grid) {
        if (StyleOf(m.hwnd) & WS_BORDER) FrameBox(dc.get(), 0, 0, b.width, b.height, FrameColour(m.hwnd));
    } else {
        FrameBox(dc.get(), 0, 0, b.width, b.height, FrameColour(m.hwnd));
        FrameBox(dc.get(), 1, 1, b.width - 2, b.height - 2, White);
    }
    return r;
}

}  // namespace

LRESULT FlatBorderNcPaint(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    if ((::GetWindowLongPtrW(m.hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) == 0) return r;
    const Box b = WindowBox(m.hwnd);
    const Borders e = BorderWidths(m.hwnd);
    WindowDc window(m.hwnd);
    ClientDc client(m.hwnd);
    if (!window || !client) return r;
    FrameBox(window.get(), 0, 0, b.width, b.height, FrameColour(m.hwnd));
    // Rings shrink on all four sides, so the inner ring of the old edge is
    // covered on the right and at the bottom as well.
    for (int d = 1; d <= e.bx; ++d) {
        FrameBox(window.get(), d, d, b.width - 2 * d, b.height - 2 * d, ::GetBkColor(client.get()));
    }
    return r;
}

int PaintHeaderItem(HWND header, HDC target, int index, int state) {
    if (index < 0) return 0;
    const RECT r = ItemRect(header, index);
    const int iw = r.right - r.left, ih = r.bottom - r.top;
    const Box b = WindowBox(header);
    Surface s = NewSurface(iw, b.height);
    if (!s) return 0;
    ItemFace(header, s.dc(), 0, iw, b.height, b.height, state, ItemText(header, index));
    if (target) {
        ::BitBlt(target, r.left, 0, iw, ih, s.dc(), 0, 0, SRCCOPY);
    } else {
        WindowDc dc(header);
        if (dc) ::BitBlt(dc.get(), r.left, 0, iw, ih, s.dc(), 0, 0, SRCCOPY);
    }
    return 1;
}

LRESULT HeaderMessage(const SkinMessage& m) {
    switch (m.msg) {
    case WM_PAINT:
        return HeaderPaint(m);
    case WM_MOUSEMOVE:
        return HeaderMouseMove(m);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return HeaderLeftDown(m);
    case WM_LBUTTONUP:
        return HeaderLeftUp(m);
    case WM_MOUSELEAVE:
        return HeaderMouseLeave(m);
    case WM_NCPAINT:
        return FlatBorderNcPaint(m);
    default:
        return Forward(m);
    }
}

LRESULT ProgressMessage(const SkinMessage& m) {
    switch (m.msg) {
    case WM_PAINT:
        return ProgressPaint(m);
    case WM_NCPAINT:
        return ProgressNcPaint(m);
    default:
        return Forward(m);
    }
}

// Data lists keep their own non-client painting; drop-down lists and grids
// get the flat border there too.
LRESULT FramedListMessage(const SkinMessage& m) {
    switch (m.msg) {
    case WM_PAINT:
        return FramedPaint(m);
    case WM_NCPAINT:
        return m.group == ClassGroup::DataList ? Forward(m) : FlatBorderNcPaint(m);
    default:
        return Forward(m);
    }
}

LRESULT BorderedMessage(const SkinMessage& m) {
    return m.msg == WM_NCPAINT ? FlatBorderNcPaint(m) : Forward(m);
}

}  // namespace mojian::skin
