// Inline layout: a block's atoms broken into lines at their break
// opportunities, floats placed beside the lines, each line aligned and
// given its height from the fonts and atomic boxes on it. The result is the
// block's text and decoration fragments and the positions of its inline boxes.
#pragma once

#include "html/Box.h"
#include "html/LayoutContext.h"

namespace mojian::html {

// Lays out `b`'s atoms in a content box `innerW` wide whose top left corner is
// at (left, top) in `b`'s border box; returns the height of the lines and floats.
float LayoutLines(LayoutContext& ctx, Box& b, float innerW, float left, float top);

}  // namespace mojian::html
