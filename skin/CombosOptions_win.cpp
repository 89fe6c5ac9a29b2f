// Combo boxes, drive lists, check boxes and option buttons keep their own
// painting; the skin draws its border, drop button and glyphs over it after
// every message that may have repainted the control. No fading here: a
// state change shows at once.
#include <windows.h>

#include "skin/Draw_win.h"
#include "skin/SkinFrame_win.h"

namespace mojian::skin {

namespace {

bool LeftHeld(WPARAM wParam) { return (wParam & MK_LBUTTON) != 0; }
// The editable drop-down combo box: its text part is an edit of its own.
bool Editable(HWND hwnd) { return (StyleOf(hwnd) & 1) == 0; }

// The unchanged-state test every part shares; records the new state.
bool Unchanged(HWND hwnd, int state, bool force) {
    const std::intptr_t old = PropInt(hwnd, PropOldState);
    if (state == old && !force) return true;
    if (state != old) SetPropInt(hwnd, PropOldState, state);  // a forced repaint usually keeps the state
    return false;
}

bool OverButton(HWND hwnd, LPARAM lParam) {
    const Box b = WindowBox(hwnd);
    return OverDropButton(LowWord(static_cast<std::uintptr_t>(lParam)), HighWord(static_cast<std::uintptr_t>(lParam)),
                          b.width, b.height, ::GetSystemMetrics(SM_CXVSCROLL));
}

void FlatBorder(HWND hwnd, HDC dc) {
    const Box b = WindowBox(hwnd);
    FrameBox(dc, 0, 0, b.width, b.height, Enabled(hwnd) ? BorderColour : DisabledBorderColour);
    FrameBox(dc, 1, 1, b.width - 2, b.height - 2, White);
}

// --- combo boxes and drive lists -------------------------------------------------

// Editable combo boxes are painted whole (their text part paints itself);
// the others paint themselves and get border and button over it.
LRESULT ComboPaint(const SkinMessage& m) {
    if (m.group == ClassGroup::Combo && Editable(m.hwnd)) {
        const Box b = WindowBox(m.hwnd);
        PaintDc pdc(m.hwnd);
        FillBox(pdc.get(), 0, 0, b.width, b.height, White);
        FrameBox(pdc.get(), 0, 0, b.width, b.height, Enabled(m.hwnd) ? BorderColour : DisabledBorderColour);
        PaintDropButton(m.hwnd, pdc.get(), static_cast<int>(PropInt(m.hwnd, PropOldState)), true);
        return 0;
    }
    const LRESULT r = Forward(m);
    WindowDc dc(m.hwnd);
    if (dc) {
        FlatBorder(m.hwnd, dc.get());
        PaintDropButton(m.hwnd, dc.get(), static_cast<int>(PropInt(m.hwnd, PropOldState)), true);
    }
    return r;
}

LRESULT ComboMouseMove(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    ArmLeave(m.hwnd);
    int state = LeftHeld(m.wParam) ? 2 : 1;
    if (m.group == ClassGroup::Combo && Editable(m.hwnd) && !OverButton(m.hwnd, m.lParam)) state = 0;
    PaintDropButton(m.hwnd, nullptr, state, false);
    return r;
}

LRESULT ComboMouseLeave(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    SetPropInt(m.hwnd, PropMouseFlag, 0);
    PaintDropButton(m.hwnd, nullptr, 0, false);
    return r;
}

LRESULT ComboLeftDown(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    if (m.group == ClassGroup::Combo && Editable(m.hwnd) && !OverButton(m.hwnd, m.lParam)) return r;
    PaintDropButton(m.hwnd, nullptr, 2, false);
    return r;
}

LRESULT ComboLeftUp(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    PaintDropButton(m.hwnd, nullptr, UnderCursor(m.hwnd) ? 1 : 0, false);
    return r;
}

LRESULT ComboPosChanging(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    PaintDropButton(m.hwnd, nullptr, 0, false);
    return r;
}

// --- check boxes and option buttons -------------------------------------------------

using GlyphPainter = int (*)(HWND, int, bool);

GlyphPainter PainterOf(ClassGroup group) { return group == ClassGroup::Option ? PaintOptionGlyph : PaintCheckGlyph; }

LRESULT GlyphPaint(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    PainterOf(m.group)(m.hwnd, 0, true);
    return r;
}

LRESULT GlyphMouseMove(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    ArmLeave(m.hwnd);
    PainterOf(m.group)(m.hwnd, LeftHeld(m.wParam) ? 2 : 1, true);
    return r;
}

LRESULT GlyphMouseLeave(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    SetPropInt(m.hwnd, PropMouseFlag, 0);
    PainterOf(m.group)(m.hwnd, 0, false);
    return r;
}

LRESULT GlyphState(const SkinMessage& m, int state) {
    const LRESULT r = Forward(m);
    PainterOf(m.group)(m.hwnd, state, false);
    return r;
}

LRESULT GlyphKey(const SkinMessage& m, int state) {
    const LRESULT r = Forward(m);
    if (m.wParam == VK_SPACE) PainterOf(m.group)(m.hwnd, state, false);
    return r;
}

LRESULT OptionFocus(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    if (m.group == ClassGroup::Option) PaintOptionGlyph(m.hwnd, 0, true);
    return r;
}

}  // namespace

int PaintDropButton(HWND hwnd, HDC target, int state, bool force) {
    if (::SendMessageW(hwnd, CB_GETDROPPEDSTATE, 0, 0) != 0) state = 2;
    if (Unchanged(hwnd, state, force)) return 0;
    if ((StyleOf(hwnd) & 2) == 0) return 0;
    const Box b = WindowBox(hwnd);
    const int bw = ::GetSystemMetrics(SM_CXVSCROLL) + 1;
    const int bh = b.height - 2;
    Surface s = NewSurface(bw, bh);
    if (!s) return 0;
    if (state == 0) {
        FillBox(s.dc(), 0, 0, bw, bh, White);
    } else {
        NineGridBlt(s.dc(), 0, 0, bw, bh, SkinDc(SkinBitmap::DropButton), state == 1 ? 0 : 4, 0, 4, 18, 2, 1, 1, 1);
    }
    KeyedBlt(s.dc(), Centred(bw, 7), Centred(b.height, 6), 7, 4, SkinDc(SkinBitmap::DropButton), 8,
             Enabled(hwnd) ? 0 : 4, KeyColour);
    if (target) {
        ::BitBlt(target, b.width - bw - 1, 1, bw, bh, s.dc(), 0, 0, SRCCOPY);
    } else {
        WindowDc dc(hwnd);
        if (dc) ::BitBlt(dc.get(), b.width - bw - 1, 1, bw, bh, s.dc(), 0, 0, SRCCOPY);
    }
    return 1;
}

int PaintCheckGlyph(HWND hwnd, int state, bool force) {
    if (Unchanged(hwnd, state, force)) return 0;
    const SIZE glyph = GlyphSize();
    const int cw = glyph.cx, ch = glyph.cy;
    const LRESULT check = ::SendMessageW(hwnd, BM_GETCHECK, 0, 0);
    Surface s = NewSurface(cw, ch);
    if (!s) return 1;
    FillBox(s.dc(), 0, 0, cw, ch, White);
    const bool enabled = Enabled(hwnd);
    const HDC mark = SkinDc(SkinBitmap::Mark);
    if (enabled) {
        FrameBox(s.dc(), 0, 0, cw, ch, state == 2 ? PressedFrameColour : BorderColour);
        if (state == 1 || state == 2) {
            ::StretchBlt(s.dc(), 1, 1, cw - 2, ch - 2, SkinDc(SkinBitmap::Option), 1, state == 1 ? 17 : 30, 11, 5,
                         SRCCOPY);
        }
    } else {
        FrameBox(s.dc(), 0, 0, cw, ch, DisabledBorderColour);
    }
    if (check == BST_CHECKED) {
        KeyedBlt(s.dc(), Centred(cw, 9), Centred(ch, 8), 9, 8, mark, enabled ? 0 : 9, 0, KeyColour);
    } else if (check == BST_INDETERMINATE) {
        KeyedBlt(s.dc(), Centred(cw, 7), Centred(ch, 7), 7, 7, mark, enabled ? 1 : 10, 9, KeyColour);
    }
    WindowDc dc(hwnd);
    if (dc) ::BitBlt(dc.get(), 0, Centred(WindowBox(hwnd).height, ch), cw, ch, s.dc(), 0, 0, SRCCOPY);
    return 1;
}

int PaintOptionGlyph(HWND hwnd, int state, bool force) {
    if (Unchanged(hwnd, state, force)) return 0;
    const SIZE glyph = GlyphSize();
    const int cw = glyph.cx, ch = glyph.cy;
    const int y0 = Centred(WindowBox(hwnd).height, ch);
    const LRESULT check = ::SendMessageW(hwnd, BM_GETCHECK, 0, 0);
    const bool enabled = Enabled(hwnd);
    WindowDc dc(hwnd);
    if (!dc) return 1;
    const int t = enabled ? state : 3;
    NineGridBlt(dc.get(), 0, y0, cw, ch, SkinDc(SkinBitmap::Option), 0, 13 * t, 13, 13, 5, 5, 5, 5, KeyColour);
    if (check == BST_CHECKED) {
        KeyedBlt(dc.get(), Centred(cw, 5), y0 + Centred(ch, 5), 5, 5, SkinDc(SkinBitmap::Mark), enabled ? 2 : 11, 18,
                 KeyColour);
    }
    return 1;
}

BOOL CALLBACK RefreshChecks(HWND child, LPARAM) {
    // A hidden control shows nothing to refresh (a kind with few styles hides
    // most of the style options); it is painted whole when it shows again.
    if ((StyleOf(child) & WS_VISIBLE) == 0) return TRUE;
    if (IsSkinned(child)) {
        const ClassGroup g = GroupOf(child);
        if (g == ClassGroup::CheckBox) PaintCheckGlyph(child, 0, true);
        if (g == ClassGroup::Option) PaintOptionGlyph(child, 0, true);
    }
    return TRUE;
}

LRESULT ComboMessage(const SkinMessage& m) {
    switch (m.msg) {
    case WM_PAINT:
        return ComboPaint(m);
    case WM_MOUSEMOVE:
        return ComboMouseMove(m);
    case WM_MOUSELEAVE:
        return ComboMouseLeave(m);
    case WM_LBUTTONDOWN:
        return ComboLeftDown(m);
    case WM_LBUTTONUP:
        return ComboLeftUp(m);
    case WM_WINDOWPOSCHANGING:
        return ComboPosChanging(m);
    case WM_NCPAINT:
        return FlatBorderNcPaint(m);
    default:
        return Forward(m);
    }
}

LRESULT GlyphMessage(const SkinMessage& m) {
    switch (m.msg) {
    case WM_PAINT:
        return GlyphPaint(m);
    case WM_MOUSEMOVE:
        return GlyphMouseMove(m);
    case WM_MOUSELEAVE:
        return GlyphMouseLeave(m);
    case WM_LBUTTONDOWN:
        return GlyphState(m, 2);
    case WM_LBUTTONUP:
        return GlyphState(m, 0);
    case WM_KEYDOWN:
        return GlyphKey(m, 2);
    case WM_KEYUP:
        return GlyphKey(m, 0);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        return OptionFocus(m);
    case WM_NCPAINT:
        return FlatBorderNcPaint(m);
    default:
        return Forward(m);
    }
}

}  // namespace mojian::skin
