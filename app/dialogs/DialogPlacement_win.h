// Where the program's dialogs open, and at which DPI.
#pragma once

#include <windows.h>

namespace mojian {

// Over the main window, wherever that is, rather than in the screen's
// middle; kept on the owner's monitor.
void CentreOnOwner(HWND dialog);

// The window's DPI, for layout in pixels (Form1Layout_win.cpp).
int DpiOf(HWND hwnd);

}  // namespace mojian
