// What layout produces: a flat list of things to paint in page pixels, in
// painting order, with the fonts they name and the boxes a browser would
// report for tables, cells and pictures. Painting it needs no document.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "html/Dom.h"
#include "html/PictureSource.h"
#include "html/Style.h"
#include "html/TextMeasurer.h"

namespace mojian::html {

struct Rect {
    float x = 0, y = 0, w = 0, h = 0;
    float Bottom() const { return y + h; }
    float Right() const { return x + w; }
};

struct PaintOp {
    // Picture: drawn scaled to its box from the picture source's pixels;
    // nothing while they are not there, or when `broken`, the browser's
    // framed broken-picture box (icon and alt text inside as room allows).
    // BrokenIcon: the broken-picture icon of a picture shown as its alt text.
    // Background: a background picture placed in `rect` and repeated as
    // asked, drawn within `clip`.
    enum class Kind : std::uint8_t { Fill, Text, Picture, BrokenIcon, Background, ClipPush, ClipPop };
    Kind kind = Kind::Fill;
    Rect rect;           // Fill, clip: the area; Picture: its content box; Text: the fragment's box; Background: the padding box
    float baseline = 0;  // Text: the baseline's y
    Color color = 0;
    int font = -1;  // index into PageLayout::fonts
    float letterSpacing = 0, wordSpacing = 0;
    bool underline = false;
    bool strike = false;
    std::u16string text;  // Text, and the alt text of a broken Picture
    std::string url;      // Picture and Background: the address as the page gives it
    // Text: the text node shown (the picture, for alt text); Picture: the
    // picture's element. What a link or a line of the page covers is read
    // from it. Points into the document laid out.
    const Node* node = nullptr;
    bool broken = false;  // Picture: it failed
    // Background: which ways it repeats, and where its first copy sits in
    // `rect` (percentages move its same point onto the rect's, as CSS does).
    bool repeatX = true, repeatY = true;
    Length positionX, positionY;
    Rect clip;
    // ClipPush: the corners' radii across and down (a box's border-radius:
    // its background, borders and picture are drawn inside the rounded box).
    float radiusX = 0, radiusY = 0;
    // Background: the tile's size over its natural size (a page painted
    // larger than it was laid out, as its mobile pictures are).
    float tileScale = 1;
    // Background: background-size, worked out against `rect` and the
    // picture's natural size when painting.
    BackgroundImage::Size tileSize = BackgroundImage::Size::Natural;
    Length tileWidth, tileHeight;
};

// One laid-out box: a table, cell, picture or block with text of its own,
// for comparing with a browser; with LayoutOptions::recordEveryBox every box
// the layout made.
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

// A picture the page shows, with what layout knew of it: when what the
// picture source says of it changes, the page needs painting again, and
// laying out again only if the picture's state sized a box.
struct PictureUse {
    std::string url;
    PictureInfo info;
    bool sizesLayout = false;
};

struct PageLayout {
    std::vector<FontKey> fonts;
    std::vector<PaintOp> ops;      // in painting order
    // tables, cells, pictures and text blocks (or every box) in document order
    std::vector<BoxRecord> boxes;
    std::vector<PictureUse> pictures;  // each address once
    float width = 0;
    float height = 0;
};

}  // namespace mojian::html
