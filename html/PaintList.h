// What layout produces: a flat list of things to paint in page pixels, in
// painting order, with the fonts they name and the boxes a browser would
// report for tables, cells and pictures. Painting it needs no document.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "html/Dom.h"
#include "html/Style.h"
#include "html/TextMeasurer.h"

namespace mojian::html {

struct Rect {
    float x = 0, y = 0, w = 0, h = 0;
    float Bottom() const { return y + h; }
    float Right() const { return x + w; }
};

struct PaintOp {
    // A Picture is drawn from the picture source's pixels when it has them,
    // else as the browser's broken-picture box with the alt text.
    enum class Kind : std::uint8_t { Fill, Text, Picture, ClipPush, ClipPop };
    Kind kind = Kind::Fill;
    Rect rect;           // Fill, clip: the area; Picture: its content box; Text: the fragment's box
    float baseline = 0;  // Text: the baseline's y
    Color color = 0;
    int font = -1;  // index into PageLayout::fonts
    float letterSpacing = 0;
    bool underline = false;
    bool strike = false;
    std::u16string text;  // Text, and the alt text of a Picture
    std::string url;      // Picture: its address as the src attribute gives it
};

// One laid-out box: a table, cell or picture, for comparing with a browser;
// with LayoutOptions::recordEveryBox every box the layout made.
struct BoxRecord {
    std::string tag;  // empty for an anonymous box
    Rect rect;
    // The element the box is for; for an anonymous box, the element it was
    // made inside. Points into the document laid out.
    const Node* node = nullptr;
    // What a reader sees of what the box draws: its border box widened by
    // its own lines (text and inline decoration), cut to the ancestors that
    // hide their overflow. Empty when they hide all of it.
    Rect visible;
};

struct PageLayout {
    std::vector<FontKey> fonts;
    std::vector<PaintOp> ops;      // in painting order
    std::vector<BoxRecord> boxes;  // tables, cells and pictures (or every box) in document order
    float width = 0;
    float height = 0;
};

}  // namespace mojian::html
