// Lays out a parsed document for a given width and turns it into a flat list
// of things to paint, in page pixels. Text is measured through TextMeasurer
// so that the same layout runs natively (tests) and with GDI (the view).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "html/Dom.h"
#include "html/Style.h"

namespace mojian::html {

struct FontKey {
    std::u16string family;
    int size = 16;  // pixels, cell height of the em
    bool bold = false;
    bool italic = false;
    friend bool operator==(const FontKey&, const FontKey&) = default;
};

struct FontMetrics {
    int ascent = 13;
    int descent = 3;
    int lineHeight = 16;  // what "line-height: normal" gives
};

class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    virtual FontMetrics Metrics(const FontKey& font) = 0;
    // The advance of one UTF-16 unit or surrogate pair, in pixels.
    virtual int Advance(const FontKey& font, std::u16string_view character) = 0;
};

struct Rect {
    float x = 0, y = 0, w = 0, h = 0;
    float Bottom() const { return y + h; }
    float Right() const { return x + w; }
};

struct PaintOp {
    enum class Kind : std::uint8_t { Fill, Text, BrokenImage, ClipPush, ClipPop };
    Kind kind = Kind::Fill;
    Rect rect;           // Fill, BrokenImage, clip: the area; Text: the fragment's box
    float baseline = 0;  // Text: the baseline's y
    Color color = 0;
    int font = -1;  // index into PageLayout::fonts
    float letterSpacing = 0;
    bool underline = false;
    bool strike = false;
    std::u16string text;  // Text, and the alt text of a BrokenImage
};

// One laid-out table, cell or picture, for comparing with a browser.
struct BoxRecord {
    std::string tag;
    Rect rect;
};

struct PageLayout {
    std::vector<FontKey> fonts;
    std::vector<PaintOp> ops;      // in painting order
    std::vector<BoxRecord> boxes;  // tables, cells and pictures in document order
    float width = 0;
    float height = 0;
};

struct LayoutOptions {
    float width = 750;  // the viewport, page margins included
    float margin = 8;   // the page margin, as a body's
};

PageLayout LayoutDocument(const Node& root, const LayoutOptions& options, TextMeasurer& measurer);

// A measurer with fixed advances: Latin half the font size, CJK the full size.
class FixedMeasurer : public TextMeasurer {
public:
    FontMetrics Metrics(const FontKey& font) override;
    int Advance(const FontKey& font, std::u16string_view character) override;
};

}  // namespace mojian::html
