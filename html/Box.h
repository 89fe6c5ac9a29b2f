// The box tree the layout works on: what the box builder makes of a
// document, what the block, line and table layouts fill in, and what the
// painter walks. Internal to the engine.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "html/Dom.h"
#include "html/PaintList.h"
#include "html/PictureSource.h"
#include "html/Style.h"

namespace mojian::html {

struct Box;

// One piece of inline content: a run of text up to a break opportunity, an
// atomic inline box (picture, inline block), a forced break, the start or
// end of an inline element (for its margins, padding and decoration), or a float.
struct Atom {
    enum class Kind : std::uint8_t { Text, Atomic, Break, Open, Close, Float };
    Kind kind = Kind::Text;
    bool breakBefore = false;  // a line may break before this atom
    const Style* style = nullptr;
    std::u16string text;
    const Node* node = nullptr;  // Text: the text node it comes from (the picture for alt text)
    float width = 0;
    float trailingSpace = 0;  // the collapsible space a text atom ends with
    Box* box = nullptr;       // Atomic and Float
};

// Whether an atom shows anything (inline starts and ends and spaces do not).
bool Significant(const Atom& a);

// A placed piece of a line: text, or an inline element's decoration.
struct Frag {
    enum class Kind : std::uint8_t { Text, Deco };
    Kind kind = Kind::Text;
    Rect rect;
    float baseline = 0;
    const Style* style = nullptr;
    std::u16string text;
    const Node* node = nullptr;  // Text: its first atom's (the atoms of one frag share their element)
};

// Adjoining vertical margins, collapsed: the largest positive one and the
// most negative one add up.
struct Margins {
    float pos = 0, neg = 0;
    void Add(float m) {
        if (m > 0) pos = std::max(pos, m);
        else neg = std::min(neg, m);
    }
    void Add(const Margins& o) {
        pos = std::max(pos, o.pos);
        neg = std::min(neg, o.neg);
    }
    float Value() const { return pos + neg; }
};

// A table cell in the table's grid.
struct Cell {
    Box* box;
    int row, col, rowSpan, colSpan;
};

struct Box {
    enum class Kind : std::uint8_t { Block, Table, Image };
    Kind kind = Kind::Block;
    const Node* node = nullptr;  // null for anonymous boxes
    const Style* style = nullptr;
    std::vector<Box*> children;  // block-level children, floats among them
    bool inlineContent = false;
    std::vector<Atom> atoms;
    std::vector<Frag> frags;
    std::vector<Box*> inlineBoxes;  // atomic boxes and floats placed by the lines
    // Tables.
    std::vector<std::vector<Box*>> rows;
    std::vector<const Style*> rowStyles;
    std::vector<Cell> cells;
    std::vector<Rect> rowRects;
    int columns = 0;
    // Results, relative to the parent's border box.
    float x = 0, y = 0, w = 0, h = 0;
    // Its top and bottom margins with those of the children they collapse
    // with; a box with nothing in it lets its margins collapse through it.
    Margins marginTop, marginBottom;
    bool collapsesThrough = false;
    float shift = 0;           // vertical-align inside a cell
    float contentH = 0;        // the height the content needs, padding and borders included
    float firstBaseline = -1;  // from the border box top; negative: none
    float lastBaseline = -1;
    bool intrinsicDone = false;
    float minW = 0, maxW = 0;  // border-box widths: the narrowest without overflow, the widest useful
    int listIndex = 0;
    bool isCell = false;
    bool forcedWidth = false;  // the table has set w
    // Pictures: what the picture source said when the box was made.
    PictureInfo picture;
    bool broken = false;      // a picture that failed, kept at the size the page gives: drawn framed
    bool brokenIcon = false;  // the broken-picture icon of a picture shown as its alt text
};

// The floats of one block formatting context (a cell, a table, an inline
// block, a float, a box that clips, the page), as margin boxes in its
// coordinates: lines of every block in it make room for them.
struct FloatArea {
    struct Placed {
        Rect r;
        bool left;
    };
    std::vector<Placed> floats;

    // The free span [l, r) between x0 and x1 for a band from y, h high.
    void Edges(float y, float h, float x0, float x1, float& l, float& r) const {
        l = x0;
        r = x1;
        for (const Placed& f : floats) {
            if (f.r.y < y + std::max(h, 1.0f) && f.r.Bottom() > y) {
                if (f.left) l = std::max(l, f.r.Right());
                else r = std::min(r, f.r.x);
            }
        }
    }
    // The nearest bottom of a float below y; y itself when there is none.
    float NextBottom(float y) const {
        float next = -1;
        for (const Placed& f : floats)
            if (f.r.Bottom() > y && (next < 0 || f.r.Bottom() < next)) next = f.r.Bottom();
        return next < 0 ? y : next;
    }
    // The lowest bottom of the floats on the sides asked for (clearance).
    float Bottom(bool left, bool right) const {
        float bottom = 0;
        for (const Placed& f : floats)
            if ((f.left && left) || (!f.left && right)) bottom = std::max(bottom, f.r.Bottom());
        return bottom;
    }
    // Places a float of margin box w x h at y or below, on its side, within [x0, x1).
    Rect Place(float y, float w, float h, bool left, float x0, float x1) {
        for (int guard = 0; guard < 1000; ++guard) {
            float l, r;
            Edges(y, h, x0, x1, l, r);
            if (r - l >= w || (l == x0 && r == x1)) {
                const Rect placed{left ? l : r - w, y, w, h};
                floats.push_back({placed, left});
                return placed;
            }
            const float next = NextBottom(y);
            if (next <= y) break;
            y = next;
        }
        const Rect placed{left ? x0 : x1 - w, y, w, h};
        floats.push_back({placed, left});
        return placed;
    }
};

// Where a box's border box sits in its block formatting context, for the
// floats there; no area: the box starts one of its own.
struct Where {
    FloatArea* area = nullptr;
    float x = 0, y = 0;
    float cbHeight = -1;  // the containing block's height when it is known in advance (for percentages)
};

// Beyond any real table; cells past it are not shown.
inline constexpr int kMaxColumns = 1000;

// A length in pixels, auto counting as 0.
inline float Px(const Length& l, float reference) { return l.IsAuto() ? 0 : l.Resolve(reference); }

// A box's margin on one side (0 top, 1 right, 2 bottom, 3 left).
inline float MarginPx(const Box& b, int side, float cb) { return Px(b.style->margin[side], cb); }

}  // namespace mojian::html
