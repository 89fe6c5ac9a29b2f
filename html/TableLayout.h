// Table layout: the grid of rows and cells with their spans, column widths
// from the cells' intrinsic widths, fixed and percentage widths, row heights
// from the cells' content, and each cell's vertical alignment.
#pragma once

#include "html/Box.h"
#include "html/LayoutContext.h"

namespace mojian::html {

// The narrowest and widest border-box widths of a table from its columns,
// spacing, padding and borders included, before its own width is applied.
struct TableWidths {
    float min = 0, max = 0;
};
TableWidths TableContentWidths(LayoutContext& ctx, Box& table);

// Lays out a table box in a containing block `cbWidth` wide: its cells (as
// blocks at their columns' width), its rows and its own w and h.
void LayoutTable(LayoutContext& ctx, Box& table, float cbWidth);

}  // namespace mojian::html
