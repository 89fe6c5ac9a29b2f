// Where the program's dialogs open, and at which DPI.
#pragma once

#include <windows.h>

namespace mojian {

// Over the main window, wherever that is, rather than in the screen's
// middle; kept on the owner's monitor.
void CentreOnOwner(HWND dialog);

// The dialog `width` × `height` pixels, no larger than the work area of its
// owner's monitor, centred on the owner.
void SizeOverOwner(HWND dialog, int width, int height);

// The dialog's control `id` moved to x, y and sized w × h pixels (never
// less than nothing), for dialogs laid out in pixels.
void PlaceControl(HWND dialog, int id, int x, int y, int w, int h);

// The window's DPI, for layout in pixels (Form1Layout_win.cpp).
int DpiOf(HWND hwnd);

}  // namespace mojian
