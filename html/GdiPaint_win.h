// GDI's side of painting: a laid-out page drawn into any device context, its
// text in the fonts GdiFonts made, its pictures from a picture source.
#pragma once

#include <windows.h>

#include "html/GdiFonts_win.h"
#include "html/PaintList.h"
#include "html/PictureSource.h"

namespace mojian::html {

// Paints the operations that meet `clip` (device pixels), with the page's
// (0, 0) at device (originX, originY). The background is left to the caller.
// A picture is drawn scaled to its box from pictures.Pixels(), or as a
// broken-picture box with its alt text when there are none.
void PaintLayout(HDC dc, const PageLayout& page, GdiFonts& fonts, PictureSource& pictures, int originX, int originY,
                 const RECT& clip);

}  // namespace mojian::html
