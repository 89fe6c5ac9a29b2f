// The drawing primitives every skinned control is painted with: off-screen
// surfaces, the nine-region stretch copy, the colour-keyed copy, and boxes,
// frames, focus rectangles and captions given as position plus size.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string_view>

#include "base/Scoped_win.h"
#include "skin/SkinArt.h"

namespace mojian::skin {

// A key colour as OLE gives colours: an RGB value, or 0x80000000 with a
// system colour index.
using OleColour = DWORD;

// While held, the drawing routines share one display context and halftone
// palette instead of making their own on every call; the skin holds them
// while it has windows and lets them go with its surfaces.
void HoldDisplay();
void ReleaseDisplay();

// A memory surface of w x h compatible with the display; empty if the
// platform could not make one.
Surface NewSurface(int width, int height);

// Draws the source rectangle onto the destination rectangle: the corners
// keep their size, the edges stretch along one axis, the centre along both.
// Returns 0 and draws nothing when any size is 0.
int NineGridBlt(HDC dst, int dx, int dy, int dw, int dh, HDC src, int sx, int sy, int sw, int sh, int left,
                int top, int right, int bottom, std::optional<OleColour> key = std::nullopt);

// Copies a w x h rectangle, leaving the destination where the source pixel
// is the key colour.
void KeyedBlt(HDC dst, int dx, int dy, int width, int height, HDC src, int sx, int sy, OleColour key,
              HPALETTE palette = nullptr);

int FillBox(HDC dc, int x, int y, int width, int height, COLORREF colour);
int FrameBox(HDC dc, int x, int y, int width, int height, COLORREF colour);
int FocusBox(HDC dc, int x, int y, int width, int height);
// Returns the height of the drawn text.
int DrawCaption(HDC dc, std::wstring_view text, int x, int y, int width, int height, UINT format);

// The five skin bitmaps as surfaces, in the order of SkinBitmap.
using SkinSurfaces = std::array<Surface, SkinBitmapCount>;
SkinSurfaces BuildSkinBitmaps();

}  // namespace mojian::skin
