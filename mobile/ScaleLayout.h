// A laid-out page at another size: the page is laid out at its own column
// width (the description's 750 or 790 pixels) and painted at the output's
// width (750 or 1,242), so every length it paints with grows or shrinks by
// the same factor, the fonts' sizes included. Text is then drawn by the
// fonts at the bigger size, not enlarged; pictures are resampled from their
// originals at the boxes' new size by the painter.
#pragma once

#include "html/PaintList.h"

namespace mojian::mobile {

// `page` with every rect, clip, baseline, spacing, picture position and
// font size multiplied by `scale` (a positive factor; anything else gives
// the page unchanged). What the page names (text, addresses, nodes) is kept.
// Taken by value: a caller done with the page moves it in, and a long
// page is not held twice.
html::PageLayout ScaleLayout(html::PageLayout page, float scale);

}  // namespace mojian::mobile
