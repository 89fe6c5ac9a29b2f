// Inline layout: a block's atoms broken into lines at their break
// opportunities, floats placed beside the lines, each line aligned and
// given its height from the fonts and atomic boxes on it. The result is the
// block's text and decoration fragments and the positions of its inline boxes.
#pragma once

#include "html/Box.h"
#include "html/LayoutContext.h"

namespace mojian::html {

// Lays out `b`'s atoms in a content box `innerW` wide whose top left corner is
// at (left, top) in `b`'s border box, beside the floats of `where` (b's
// border box in its formatting context); returns the height of the lines.
float LayoutLines(LayoutContext& ctx, Box& b, float innerW, float left, float top, Where where);

}  // namespace mojian::html
