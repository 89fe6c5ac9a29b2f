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
#include "html/PictureSource.h"
#include "html/TextMeasurer.h"

namespace mojian::html {

struct LayoutOptions {
    float width = 750;  // the viewport, page margins included
    float margin = 8;   // the page margin, as a body's
    // PageLayout::boxes records every box, blocks and anonymous ones
    // included, not only tables, cells and pictures: for measuring what a
    // page draws where.
    bool recordEveryBox = false;
};

// Lays out the document's body; the head, comments and elements browsers do
// not show (script, style...) are left out. Pictures are sized from what
// `pictures` says of their addresses, asked once per picture.
PageLayout LayoutDocument(const Document& document, const LayoutOptions& options, TextMeasurer& measurer,
                          PictureSource& pictures);
// The same without pictures: every picture is a broken-picture box.
PageLayout LayoutDocument(const Document& document, const LayoutOptions& options, TextMeasurer& measurer);

// The picture source of a page without pictures: every address has Failed.
class NoPictures final : public PictureSource {
public:
    PictureInfo Query(std::string_view) override { return {}; }
    std::shared_ptr<const Picture> Pixels(std::string_view) override { return nullptr; }
};

}  // namespace mojian::html
