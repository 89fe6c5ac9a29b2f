// What the frame shares with the painters of each class group.
#pragma once

#include <windows.h>

#include <cstdint>

#include "skin/Skin.h"

namespace mojian::skin {

// One message on its way through SkinWndProc.
struct SkinMessage {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    WNDPROC prev;
    ClassGroup group;
};

// Passes the message unchanged to the window's previous procedure.
LRESULT Forward(const SkinMessage& m);

// Per-window properties; a missing one reads as 0.
std::intptr_t PropInt(HWND hwnd, const char* name);
void SetPropInt(HWND hwnd, const char* name, std::intptr_t value);
void DropProp(HWND hwnd, const char* name);
bool HasProp(HWND hwnd, const char* name);

// Questions every painter asks of its window.
inline bool Enabled(HWND hwnd) { return ::IsWindowEnabled(hwnd) != FALSE; }
inline LONG_PTR StyleOf(HWND hwnd) { return ::GetWindowLongPtrW(hwnd, GWL_STYLE); }
bool UnderCursor(HWND hwnd);
// Asks for WM_MOUSELEAVE once until it comes.
void ArmLeave(HWND hwnd);

inline constexpr const char* PropProcAddr = "PROCADDR";
inline constexpr const char* PropOldStyle = "OLDSTYLE";
inline constexpr const char* PropMouseFlag = "MOUSEFLAG";
inline constexpr const char* PropTimerId = "TIMERID";
inline constexpr const char* PropOldState = "OLDSTATE";
inline constexpr const char* PropAlphaLevel = "ALPHALEVEL";
inline constexpr const char* PropHdIndex = "HDINDEX";
inline constexpr const char* PropHmIndex = "HMINDEX";
inline constexpr const char* PropStateDc[4] = {"0HDC", "1HDC", "2HDC", "3HDC"};
inline constexpr const char* PropStateBmp[4] = {"0BMP", "1BMP", "2BMP", "3BMP"};

// The engine's skin bitmap as a drawing source (null before set-up).
HDC SkinDc(SkinBitmap which);

// Whether the skin's procedure is on the window (it has "PROCADDR"); the
// same lookup the window procedure makes, so the message that follows finds
// it without asking the system again.
bool IsSkinned(HWND hwnd);

// The size of a check box or option glyph (SM_CXMENUCHECK, SM_CYMENUCHECK).
// Wine works it out from the menu font on every call (about 45 us) and every
// click repaints all glyphs, so the engine keeps it, and reads it afresh when
// a skinned window hears that settings, the display or its DPI changed.
SIZE GlyphSize();

// Push-button group (Buttons_win.cpp).
void AttachButton(HWND hwnd);
void DetachButton(HWND hwnd);
LRESULT ButtonMessage(const SkinMessage& m);


// Combo boxes, drive lists, check boxes and option buttons
// (CombosOptions_win.cpp).
LRESULT ComboMessage(const SkinMessage& m);
LRESULT GlyphMessage(const SkinMessage& m);

// Headers, progress bars, lists, grids and the flat border of every other
// window (HeadersProgress_win.cpp).
LRESULT HeaderMessage(const SkinMessage& m);
LRESULT ProgressMessage(const SkinMessage& m);
LRESULT FramedListMessage(const SkinMessage& m);
LRESULT BorderedMessage(const SkinMessage& m);
// WM_NCPAINT: forwarded, then a sunken client edge is drawn flat.
LRESULT FlatBorderNcPaint(const SkinMessage& m);

}  // namespace mojian::skin
