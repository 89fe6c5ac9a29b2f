// The HTML engine's layout: a parsed document laid out for a width and
// turned into a paint list in page pixels. Text is measured through a
// TextMeasurer, so the same layout runs natively (tests) and with GDI (the view).
//
// Inside, the work is split by concern: BoxTree builds the boxes, BlockLayout
// stacks blocks, LineLayout breaks inline content into lines, TableLayout
// sizes tables, PictureLayout sizes pictures and Painting writes the paint list.
#pragma once

#include "html/Dom.h"
#include "html/PaintList.h"
#include "html/TextMeasurer.h"

namespace mojian::html {

struct LayoutOptions {
    float width = 750;  // the viewport, page margins included
    float margin = 8;   // the page margin, as a body's
};

// Lays out the document's body; the head, comments and elements browsers do
// not show (script, style...) are left out.
PageLayout LayoutDocument(const Document& document, const LayoutOptions& options, TextMeasurer& measurer);

}  // namespace mojian::html
