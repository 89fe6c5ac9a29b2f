// Turns a laid-out box tree into the page's paint list: backgrounds, borders,
// list markers, text and pictures in painting order, clips for boxes that
// hide their overflow, and the box records of tables, cells and pictures.
#pragma once

#include "html/Box.h"
#include "html/LayoutContext.h"

namespace mojian::html {

// Appends the operations for `root` with its border box at (x, y) in page
// pixels to ctx.Page(), and the records of its tables, cells and pictures
// (of every box with `recordEveryBox`).
void PaintBoxes(LayoutContext& ctx, const Box& root, float x, float y, bool recordEveryBox = false);

}  // namespace mojian::html
