// The control skinning engine: SkinWindow(form) once, and every window of
// the form, and every window that appears later from it (message boxes,
// dialog boxes, drop-down lists), takes the flat light-blue skin. Each
// window gives the skin back by itself when it is destroyed.
#pragma once

#include <windows.h>

#include <string>

#include "skin/SkinArt.h"
#include "skin/SkinCore.h"

namespace mojian::skin {

// 1 if the window was newly skinned, 0 for a null handle or a window
// already skinned. Sets the engine up on first use.
int SkinWindow(HWND hwnd);
int AttachSkin(HWND hwnd);
// 1 if the window was skinned and is restored, else 0.
int DetachSkin(HWND hwnd);
LRESULT CALLBACK SkinWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Lower-cased class name.
std::string WindowClassOf(HWND hwnd);
std::wstring WindowTextOf(HWND hwnd);

// GetWindowRect in screen coordinates, with its size.
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0, width = 0, height = 0;
};
Box WindowBox(HWND hwnd);
Borders BorderWidths(HWND hwnd);
bool ApiExists(const char* library, const char* function);
// Arms one WM_MOUSELEAVE for the window.
void TrackLeave(HWND hwnd);

ClassGroup GroupOf(HWND hwnd);

// Push buttons.
void RenderButtonStates(HWND hwnd);
void PresentButtonState(HWND hwnd, HDC target = nullptr);
void StartFade(HWND hwnd);
void StopFade(HWND hwnd);

// The painted parts of combo boxes, check boxes, option buttons and
// headers; states 0 normal, 1 hot, 2 pressed. The part is drawn when the
// state differs from the last one drawn or when forced; 1 if drawn.
int PaintDropButton(HWND hwnd, HDC target, int state, bool force);
int PaintCheckGlyph(HWND hwnd, int state, bool force);
int PaintOptionGlyph(HWND hwnd, int state, bool force);
int PaintHeaderItem(HWND header, HDC target, int index, int state);
// EnumChildWindows callback: redraws skinned check boxes and option buttons
// in their normal state, as after a click on a sibling.
BOOL CALLBACK RefreshChecks(HWND child, LPARAM);

// What the engine holds, for the tests and the curious.
struct SkinEngineInfo {
    bool initialised = false;
    int attached = 0;
    int builds = 0;  // how many times the skin bitmaps were built
    HDC skins[SkinBitmapCount] = {};
};
SkinEngineInfo SkinEngineState();

}  // namespace mojian::skin
