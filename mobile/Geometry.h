// What the laid-out page says about where it may be cut and where its links
// are, in the output's pixels: the rows no cut may cross (text lines), the
// rows a cut should avoid (pictures, table rows), the rows where the
// composition lines meet, and each link with the rectangles it covers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "html/PaintList.h"

namespace mojian {
class Composition;
}

namespace mojian::mobile {

// Rows [top, bottom) of the output; a cut at row c crosses it when top < c < bottom.
struct RowSpan {
    int top = 0;
    int bottom = 0;
    friend bool operator==(const RowSpan&, const RowSpan&) = default;
};

// A link of the page: an <a href> (its text and pictures) or an <area href>
// of an image map (its shape's bounding box within the picture).
struct PageLink {
    std::string href;  // as the page gives it, references decoded
    std::vector<html::Rect> rects;
};

struct PageGeometry {
    int width = 0;   // output pixels
    int height = 0;  // output rows
    std::vector<RowSpan> text;
    std::vector<RowSpan> avoid;
    std::vector<int> lineStarts;  // ascending, inside (0, height)
    std::vector<PageLink> links;  // output pixels
};

// The page laid out (html::LayoutDocument, with recordEveryBox so that every
// block starting a line is known), read at `outputWidth`: every figure is
// scaled by outputWidth / layout.width (none when the page was laid out at
// the output's width, LayoutOptions::zoom). `lineOffsets` are
// the byte offsets in the page HTML where each composition line begins.
PageGeometry MeasurePage(const html::PageLayout& layout, const std::vector<std::size_t>& lineOffsets,
                         int outputWidth);

// Where each line's HTML begins in Composition::PageHtml(); lines that give
// nothing start where the next one does.
std::vector<std::size_t> LineOffsets(const Composition& composition);

}  // namespace mojian::mobile
