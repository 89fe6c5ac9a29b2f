// Block layout: boxes stacked top to bottom with collapsing margins, floats
// side by side among them, widths from the containing block or shrunk to the
// content, and the intrinsic widths every shrink-to-fit needs. Inline content
// goes to the line layout, tables to the table layout.
#pragma once

#include "html/Box.h"
#include "html/LayoutContext.h"

namespace mojian::html {

// Lays out any box for a containing block `cbWidth` wide; `shrink` makes an
// auto width fit the content (floats, inline blocks, tables) instead of
// filling the containing block. Sets the box's w and h and lays out its
// content relative to its border box.
void LayoutBox(LayoutContext& ctx, Box& b, float cbWidth, bool shrink);

// The same for a block box (a cell when the table has forced its width).
void LayoutBlock(LayoutContext& ctx, Box& b, float cbWidth, bool shrink);

// Fills in b.minW and b.maxW (border box) once.
void Intrinsic(LayoutContext& ctx, Box& b);

}  // namespace mojian::html
