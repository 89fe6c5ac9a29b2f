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
// content relative to its border box. `where` is the box's place among the
// floats of its formatting context, for a box that does not start one.
void LayoutBox(LayoutContext& ctx, Box& b, float cbWidth, bool shrink, Where where = {});

// The same for a block box (a cell when the table has forced its width).
void LayoutBlock(LayoutContext& ctx, Box& b, float cbWidth, bool shrink, Where where = {});

// Whether the box starts a formatting context of its own (cells, tables,
// floats, inline blocks, boxes that clip): no float outside reaches its
// content, no margin of its children collapses with its own, and its height
// holds its floats.
bool OwnContext(const Box& b);

// Fills in b.minW and b.maxW (border box) once.
void Intrinsic(LayoutContext& ctx, Box& b);

}  // namespace mojian::html
