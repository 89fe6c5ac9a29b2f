// Skinned push buttons: four images rendered off screen per button (normal,
// hot, pressed, disabled), shown with a timed fade. The button keeps its own
// clicks, keys and focus; it is made owner-drawn so it paints no face of its
// own, and the engine presents the image of its visual state instead.
#include <windows.h>

#include "skin/ButtonMachine.h"
#include "skin/Draw_win.h"
#include "skin/SkinFrame_win.h"

namespace mojian::skin {

namespace {

constexpr int kBorder = 3;  // the tile's rounded frame
constexpr int kTileW = 7;
constexpr int kTileH = 21;

bool IsPushStyle(HWND hwnd) { return (PropInt(hwnd, PropOldStyle) & 6) == 0; }

ButtonState LoadState(HWND hwnd) {
    ButtonState s;
    s.mouseFlag = static_cast<int>(PropInt(hwnd, PropMouseFlag));
    s.timerId = static_cast<int>(PropInt(hwnd, PropTimerId));
    s.oldState = static_cast<int>(PropInt(hwnd, PropOldState));
    s.alpha = static_cast<int>(PropInt(hwnd, PropAlphaLevel));
    return s;
}

void StoreState(HWND hwnd, const ButtonState& s) {
    SetPropInt(hwnd, PropMouseFlag, s.mouseFlag);
    SetPropInt(hwnd, PropTimerId, s.timerId);
    SetPropInt(hwnd, PropOldState, s.oldState);
    SetPropInt(hwnd, PropAlphaLevel, s.alpha);
}

void ApplyRegion(HWND hwnd, int w, int h) {
    Region rgn(::CreateRoundRectRgn(0, 0, w + 1, h + 1, 3, 3));
    // The window owns the region once SetWindowRgn takes it.
    if (rgn && ::SetWindowRgn(hwnd, rgn.get(), TRUE)) rgn.release();
}

// Blends the image of `state` over what the target shows.
void Blend(HWND hwnd, int state, int alpha, HDC target) {
    if (!IsPushStyle(hwnd) || state < 0 || state > 3) return;
    const HDC image = reinterpret_cast<HDC>(::GetPropA(hwnd, PropStateDc[state]));
    if (!image) return;
    const Box b = WindowBox(hwnd);
    const BLENDFUNCTION bf{AC_SRC_OVER, 0, static_cast<BYTE>(alpha), 0};
    if (target) {
        ::AlphaBlend(target, 0, 0, b.width, b.height, image, 0, 0, b.width, b.height, bf);
        return;
    }
    const WindowDc dc(hwnd);
    if (dc) ::AlphaBlend(dc.get(), 0, 0, b.width, b.height, image, 0, 0, b.width, b.height, bf);
}

void Apply(HWND hwnd, ButtonState& s, const ButtonActions& actions, HDC target = nullptr) {
    for (const ButtonAction& a : actions) {
        switch (a.kind) {
        case ButtonAction::TrackLeave:
            TrackLeave(hwnd);
            break;
        case ButtonAction::Present:
            Blend(hwnd, a.state, a.alpha, target);
            break;
        case ButtonAction::StartFade:
            // A failed SetTimer leaves the image as it is until the next paint.
            s.timerId = static_cast<int>(::SetTimer(hwnd, FadeTimerId, FadeIntervalMs, nullptr));
            break;
        case ButtonAction::StopFade:
            ::KillTimer(hwnd, FadeTimerId);
            break;
        case ButtonAction::Rerender:
            RenderButtonStates(hwnd);
            break;
        }
    }
    StoreState(hwnd, s);
}

// The window may be gone after its own procedure ran (a click that closes
// the form); then there is nothing left to draw on.
bool StillOurs(HWND hwnd) { return ::IsWindow(hwnd) && IsSkinned(hwnd); }


// Forward first; then, if the window is still ours, one step of its state
// machine, applied.
template <class Step>
LRESULT ForwardThenStep(const SkinMessage& m, Step step) {
    const LRESULT r = Forward(m);
    if (!StillOurs(m.hwnd)) return r;
    ButtonState s = LoadState(m.hwnd);
    Apply(m.hwnd, s, step(s));
    return r;
}

// --- message reactions ---------------------------------------------------------

LRESULT OnPaint(const SkinMessage& m) {
    if (!IsPushStyle(m.hwnd)) return Forward(m);
    const PaintDc paint(m.hwnd);
    ButtonState s = LoadState(m.hwnd);
    Apply(m.hwnd, s, ButtonPaint(s, Enabled(m.hwnd)), paint.get());
    return 0;
}

// Printing (PrintWindow, AnimateWindow) shows the current image in full.
LRESULT OnPrintClient(const SkinMessage& m) {
    if (!IsPushStyle(m.hwnd)) return Forward(m);
    int state = static_cast<int>(PropInt(m.hwnd, PropOldState));
    if (!Enabled(m.hwnd)) state = StateDisabled;
    Blend(m.hwnd, state, 255, reinterpret_cast<HDC>(m.wParam));
    return 0;
}

LRESULT OnSize(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    if (!StillOurs(m.hwnd)) return r;
    const Box b = WindowBox(m.hwnd);
    {
        const WindowDc ref(m.hwnd);
        for (int s = 0; s < 4; ++s) {
            const HDC dc = reinterpret_cast<HDC>(::GetPropA(m.hwnd, PropStateDc[s]));
            Bitmap fresh(::CreateCompatibleBitmap(ref.get(), b.width, b.height));
            if (!dc || !fresh) continue;
            const HGDIOBJ old = ::SelectObject(dc, fresh.get());
            const Bitmap previous(old != HGDI_ERROR ? static_cast<HBITMAP>(old) : nullptr);  // the old size's: ours
            SetPropInt(m.hwnd, PropStateBmp[s], reinterpret_cast<std::intptr_t>(fresh.release()));
        }
    }
    RenderButtonStates(m.hwnd);
    ApplyRegion(m.hwnd, b.width, b.height);
    return r;
}

LRESULT OnMouseMove(const SkinMessage& m) {
    return ForwardThenStep(m, [&](ButtonState& s) {
        POINT pt{};
        ::GetCursorPos(&pt);
        return ButtonMouseMove(s, Enabled(m.hwnd), ::WindowFromPoint(pt) == m.hwnd);
    });
}

LRESULT OnMouseLeave(const SkinMessage& m) {
    return ForwardThenStep(m, [&](ButtonState& s) { return ButtonMouseLeave(s, Enabled(m.hwnd)); });
}

LRESULT OnPress(const SkinMessage& m) {
    return ForwardThenStep(m, [&](ButtonState& s) { return ButtonPress(s, Enabled(m.hwnd)); });
}

LRESULT ButtonLeftUp(const SkinMessage& m) {
    return ForwardThenStep(m, [](ButtonState& s) { return ButtonLeftUp(s); });
}

LRESULT OnKeyDown(const SkinMessage& m) {
    if (m.wParam != VK_SPACE) return Forward(m);
    return OnPress(m);
}

LRESULT OnKeyUp(const SkinMessage& m) {
    if (m.wParam != VK_SPACE) return Forward(m);
    return ForwardThenStep(m, [](ButtonState& s) { return ButtonSpaceUp(s); });
}

LRESULT OnFocus(const SkinMessage& m) {
    return ForwardThenStep(m, [](ButtonState& s) { return ButtonFocusChanged(s); });
}

LRESULT OnEnable(const SkinMessage& m) {
    return ForwardThenStep(m, [&](ButtonState& s) { return ButtonEnableChanged(s, m.wParam != 0); });
}

LRESULT OnTimer(const SkinMessage& m) {
    ButtonState s = LoadState(m.hwnd);
    Apply(m.hwnd, s, ButtonFadeStep(s, Enabled(m.hwnd)));
    return Forward(m);
}

// Dialog boxes move the default between push buttons by asking each one's
// dialog code and changing its style. A skinned button answers as the push
// button it was, keeps the new type for the day it is given back, and stays
// owner-drawn so that it never paints a face of its own over the skin.
LRESULT OnGetDlgCode(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    if (!IsPushStyle(m.hwnd)) return r;
    const bool isDefault = (PropInt(m.hwnd, PropOldStyle) & 0x0F) == BS_DEFPUSHBUTTON;
    return (r & ~static_cast<LRESULT>(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) | DLGC_BUTTON |
           (isDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
}

LRESULT OnSetStyle(const SkinMessage& m) {
    const auto type = static_cast<std::intptr_t>(m.wParam & 0x0F);
    if (!IsPushStyle(m.hwnd) || (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON)) return Forward(m);
    SetPropInt(m.hwnd, PropOldStyle, (PropInt(m.hwnd, PropOldStyle) & ~std::intptr_t{0x0F}) | type);
    SkinMessage kept = m;
    kept.wParam = (m.wParam & ~WPARAM{0x0F}) | BS_OWNERDRAW;
    return Forward(kept);
}

}  // namespace

// --- the group's entries --------------------------------------------------------

LRESULT ButtonMessage(const SkinMessage& m) {
    switch (m.msg) {
    case WM_PAINT:
        return OnPaint(m);
    case WM_PRINTCLIENT:
        return OnPrintClient(m);
    case WM_SIZE:
        return OnSize(m);
    case WM_MOUSEMOVE:
        return OnMouseMove(m);
    case WM_MOUSELEAVE:
        return OnMouseLeave(m);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return OnPress(m);
    case WM_LBUTTONUP:
        return ButtonLeftUp(m);
    case WM_KEYDOWN:
        return OnKeyDown(m);
    case WM_KEYUP:
        return OnKeyUp(m);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        return OnFocus(m);
    case WM_ENABLE:
        return OnEnable(m);
    case WM_TIMER:
        return OnTimer(m);
    case WM_GETDLGCODE:
        return OnGetDlgCode(m);
    case BM_SETSTYLE:
        return OnSetStyle(m);
    default:
        return Forward(m);
    }
}

void AttachButton(HWND hwnd) {
    const Box b = WindowBox(hwnd);
    {
        const WindowDc ref(hwnd);
        for (int s = 0; s < 4; ++s) {
            OwnedDc dc(::CreateCompatibleDC(ref.get()));
            Bitmap bmp(::CreateCompatibleBitmap(ref.get(), b.width, b.height));
            if (dc && bmp) ::SelectObject(dc.get(), bmp.get());
            SetPropInt(hwnd, PropStateDc[s], reinterpret_cast<std::intptr_t>(dc.release()));
            SetPropInt(hwnd, PropStateBmp[s], reinterpret_cast<std::intptr_t>(bmp.release()));
        }
    }
    const auto style = static_cast<std::intptr_t>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
    SetPropInt(hwnd, PropOldStyle, style);
    RenderButtonStates(hwnd);
    if ((style & 6) == 0) ::SendMessageW(hwnd, BM_SETSTYLE, BS_OWNERDRAW, TRUE);
    StoreState(hwnd, ButtonAttached(Enabled(hwnd)));
    ApplyRegion(hwnd, b.width, b.height);
}

void DetachButton(HWND hwnd) {
    for (int s = 0; s < 4; ++s) {
        // The context goes first, then the bitmap that was selected into it.
        OwnedDc dc(reinterpret_cast<HDC>(::GetPropA(hwnd, PropStateDc[s])));
        Bitmap bmp(reinterpret_cast<HBITMAP>(::GetPropA(hwnd, PropStateBmp[s])));
        dc.reset();
        DropProp(hwnd, PropStateDc[s]);
        DropProp(hwnd, PropStateBmp[s]);
    }
    StopFade(hwnd);
    if (HasProp(hwnd, PropOldStyle)) ::SetWindowLongPtrW(hwnd, GWL_STYLE, PropInt(hwnd, PropOldStyle));
    for (const char* name : {PropOldStyle, PropMouseFlag, PropTimerId, PropOldState, PropAlphaLevel}) {
        DropProp(hwnd, name);
    }
    ::SetWindowRgn(hwnd, nullptr, TRUE);
}

void RenderButtonStates(HWND hwnd) {
    const Box b = WindowBox(hwnd);
    const std::wstring caption = WindowTextOf(hwnd);
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0));
    const bool focused = ::GetFocus() == hwnd;
    const HDC skin = SkinDc(SkinBitmap::Button);
    for (int s = 0; s < 4; ++s) {
        const HDC dc = reinterpret_cast<HDC>(::GetPropA(hwnd, PropStateDc[s]));
        if (!dc) continue;
        const Selection useFont(dc, font);
        ::SetBkMode(dc, TRANSPARENT);
        NineGridBlt(dc, 0, 0, b.width, b.height, skin, 0, kTileH * s, kTileW, kTileH, kBorder, kBorder, kBorder,
                    kBorder);
        ::SetTextColor(dc, s == StateDisabled ? DisabledTextColour : RGB(0, 0, 0));
        DrawCaption(dc, caption, 2, 2, b.width - 4, b.height - 4, CaptionFormat);
        if (focused) FocusBox(dc, 2, 2, b.width - 4, b.height - 4);
    }
}

void PresentButtonState(HWND hwnd, HDC target) {
    if (!Enabled(hwnd)) SetPropInt(hwnd, PropOldState, StateDisabled);
    Blend(hwnd, static_cast<int>(PropInt(hwnd, PropOldState)), static_cast<int>(PropInt(hwnd, PropAlphaLevel)),
          target);
}

void StartFade(HWND hwnd) {
    if (PropInt(hwnd, PropTimerId) != 0) return;
    SetPropInt(hwnd, PropTimerId, static_cast<std::intptr_t>(::SetTimer(hwnd, FadeTimerId, FadeIntervalMs, nullptr)));
}

void StopFade(HWND hwnd) {
    const std::intptr_t id = PropInt(hwnd, PropTimerId);
    if (id == 0) return;
    ::KillTimer(hwnd, static_cast<UINT_PTR>(id));
    SetPropInt(hwnd, PropTimerId, 0);
}

}  // namespace mojian::skin
