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

// Every control of the dialog in the main window's font (宋体, as Chinese
// Windows gives dialogs): its glyphs are drawn already, and text in a font
// that has them costs Wine a fraction of a font that borrows them. Nothing
// when `font` is null. Before the controls are skinned: a skinned button
// draws its caption once, in the font it has then.
void UseFont(HWND dialog, HFONT font);

// The window's DPI, for layout in pixels (Form1Layout_win.cpp).
int DpiOf(HWND hwnd);

}  // namespace mojian
