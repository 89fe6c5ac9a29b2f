// Computed style of one element: the browser's defaults for its tag, then
// its presentational attributes, then its inline style attribute.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "html/Dom.h"

namespace mojian::html {

using Color = std::uint32_t;  // 0x00RRGGBB

struct Length {
    enum Unit : std::uint8_t { Auto, Px, Percent };
    Unit unit = Auto;
    float value = 0;
    bool IsAuto() const { return unit == Auto; }
    // Pixels against a reference (the containing width for percentages).
    float Resolve(float reference, float ifAuto = 0) const {
        return unit == Px ? value : unit == Percent ? reference * value / 100.0f : ifAuto;
    }
};

enum class Display : std::uint8_t { Inline, Block, InlineBlock, None, Table, RowGroup, Row, Cell, ListItem };
enum class Float : std::uint8_t { None, Left, Right };
enum class TextAlign : std::uint8_t { Start, Left, Center, Right };  // Start: left, or right in right-to-left text
enum class Clear : std::uint8_t { None, Left, Right, Both };
enum class VAlign : std::uint8_t { Baseline, Top, Middle, Bottom, Sub, Super };

struct BorderSide {
    float width = 0;  // as used: 0 unless it has a visible style
    Color color = 0;
    // As declared: border-*-width and whether border-*-style shows a line.
    float declaredWidth = 3;  // "medium"
    bool styled = false;
    BorderSide() = default;
    // A visible border of that width and colour.
    BorderSide(float w, Color c) : width(w), color(c), declaredWidth(w), styled(true) {}
    void Update() { width = styled ? declaredWidth : 0; }
};

// A background picture: its address and how it is placed, sized and repeated.
struct BackgroundImage {
    // background-size: the picture's own size, scaled to cover or fit in
    // the box, or a width and height (auto keeps the picture's proportions).
    enum class Size : std::uint8_t { Natural, Cover, Contain, Lengths };
    std::string url;  // as written; empty: none
    bool repeatX = true, repeatY = true;
    Length x{Length::Percent, 0}, y{Length::Percent, 0};  // background-position; percentages as CSS means them
    Size size = Size::Natural;
    Length width, height;  // Size::Lengths: percentages of the box
};

struct Style {
    // Inherited.
    std::u16string fontFamily;  // the font-family list, see FontChoice.h; empty: the browser's default
    float fontSize = 16;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    Color color = 0;
    TextAlign textAlign = TextAlign::Start;
    bool rtl = false;  // direction: rtl (the dir attribute)
    bool alignBlocks = false;  // align= and <center> also centre block children, as browsers do
    float lineHeight = -1;  // pixels; negative: "normal"
    // A line-height given as a bare number: what descendants inherit, each
    // multiplying its own font size (negative: none).
    float lineHeightNumber = -1;
    float letterSpacing = 0;
    float wordSpacing = 0;
    enum class Transform : std::uint8_t { None, Upper, Lower, Capitalize } textTransform = Transform::None;
    bool noWrap = false;
    bool orderedList = false;
    bool quirks = false;  // the document is laid out in quirks mode
    // Device pixels per CSS pixel (LayoutOptions::zoom): every length here
    // is already multiplied by it, as a browser lays a page out at a
    // device scale.
    float zoom = 1;
    // What the nearest table gives its cells.
    float tableCellPadding = 1;
    bool tableCellBorder = false;

    // Not inherited.
    Display display = Display::Inline;
    Float floating = Float::None;
    Clear clear = Clear::None;
    VAlign verticalAlign = VAlign::Baseline;
    std::optional<Color> background;
    BackgroundImage backgroundImage;
    Length width, height;
    Length minWidth{Length::Px, 0}, maxWidth, minHeight{Length::Px, 0}, maxHeight;  // max: auto means none
    float aspectRatio = 0;  // pictures: width / height from their attributes; 0 when they give none
    Length margin[4];  // top, right, bottom, left
    float padding[4] = {0, 0, 0, 0};
    BorderSide border[4];
    float cellSpacing = 2;  // tables only
    bool collapseBorders = false;  // border-collapse: collapse (tables): no spacing between cells
    bool overflowHidden = false;
    // border-radius: one radius for every corner (the first given); a
    // percentage is of the box's width across and of its height down.
    Length borderRadius{Length::Px, 0};
    bool borderBox = false;  // box-sizing: border-box
    int colSpan = 1;
    int rowSpan = 1;
    bool explicitAlign = false;  // align= on a table: centred or floated by the attribute

    // Left, Center or Right, the start resolved by the direction.
    TextAlign Align() const { return textAlign != TextAlign::Start ? textAlign : rtl ? TextAlign::Right : TextAlign::Left; }

    float PaddingH() const { return padding[1] + padding[3] + border[1].width + border[3].width; }
    float PaddingV() const { return padding[0] + padding[2] + border[0].width + border[2].width; }
};

// The style of `element` (never a text node) given its parent's style.
Style ComputeStyle(const Node& element, const Style& parent);

// The style of the body, whose margin on every side is `margin` unless the
// document sets its own.
Style ComputeBodyStyle(const Node& body, const Style& parent, float margin);

// The initial style of the root: the inherited defaults of a document, its
// lengths in device pixels at `zoom` of them per CSS pixel.
Style RootStyle(float zoom = 1);

// Value parsers, shared with the tests.
std::optional<Color> ParseColor(std::string_view text);
// `fontSize` is the one em stands for, already zoomed; absolute units are
// multiplied by `zoom`.
std::optional<Length> ParseLength(std::string_view text, float fontSize, float zoom = 1);

}  // namespace mojian::html
