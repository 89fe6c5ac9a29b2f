// The HTML engine's layout: a parsed document laid out for a width and
// turned into a paint list in page pixels. Text is measured through a
// TextMeasurer, so the same layout runs natively (tests) and with GDI (the view).
//
// Inside, the work is split by concern: BoxTree builds the boxes, BlockLayout
// stacks blocks, LineLayout breaks inline content into lines, TableLayout
// sizes tables, PictureLayout sizes pictures and Painting writes the paint list.
#pragma once

#include <optional>

#include "html/Dom.h"
#include "html/PaintList.h"
#include "html/PictureSource.h"
#include "html/TextMeasurer.h"

namespace mojian::html {

struct LayoutOptions {
    // Both in the page's pixels, device pixels when zoomed.
    float width = 750;  // the viewport, page margins included
    float margin = 8;   // the body's margin where the document gives none
    // Device pixels per CSS pixel: the page laid out as a browser lays it out
    // at that device scale, every length, font size and picture's own size
    // multiplied by it, text measured at the bigger size and borders kept to
    // whole device pixels. Not a positive number: 1.
    float zoom = 1;
    // The mode to lay out in; empty: the one the document's doctype asks
    // for. Descriptions are shown in the marketplace's standards-mode page.
    std::optional<Compat> compat = Compat::NoQuirks;
    // PageLayout::boxes records every box, blocks and anonymous ones
    // included, not only tables, cells, pictures and blocks with text of
    // their own: for measuring what a page draws where.
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

// The picture source of a page whose pictures have not come yet: every
// address is Loading, so each picture takes the room the page gives it (a
// broken picture would be boxed by its alt text instead).
class PicturesLoading final : public PictureSource {
public:
    PictureInfo Query(std::string_view) override { return {PictureInfo::State::Loading, 0, 0}; }
    std::shared_ptr<const Picture> Pixels(std::string_view) override { return nullptr; }
};

}  // namespace mojian::html
