#include "html/BlockLayout.h"

#include <algorithm>

#include "html/LineLayout.h"
#include "html/PictureLayout.h"
#include "html/TableLayout.h"

namespace mojian::html {

namespace {

// The border-box width a width (or min- or max-width) asks for.
float BorderBoxWidth(const Style& s, const Length& l, float cbWidth) {
    const float v = l.Resolve(cbWidth);
    return s.borderBox ? std::max(v, s.PaddingH()) : v + s.PaddingH();
}

// Where a block child starts within its parent's content box: auto margins
// centre it, align= and <center> move it.
float HorizontalOffset(const Box& c, const Style& parent, float innerW) {
    const Style& cs = *c.style;
    const float ml = MarginPx(c, 3, innerW), mr = MarginPx(c, 1, innerW);
    const float room = innerW - c.w - ml - mr;
    const bool autoL = cs.margin[3].IsAuto(), autoR = cs.margin[1].IsAuto();
    if (room > 0) {
        if (autoL && autoR) return ml + room / 2;
        if (autoL) return ml + room;
        if (!autoR && parent.alignBlocks) {
            if (parent.textAlign == TextAlign::Center) return ml + room / 2;
            if (parent.textAlign == TextAlign::Right) return ml + room;
        }
    }
    return ml;
}

// Block children one below the other, margins collapsing between them;
// returns the content height.
float LayoutChildren(LayoutContext& ctx, Box& b, float innerW, float left, float top) {
    float y = 0, prevMargin = 0;
    bool first = true;
    // Floats among blocks stand side by side, then the next block starts below them.
    float floatLeft = 0, floatRight = innerW, floatTop = 0, floatBottom = 0;
    bool floating = false;
    for (Box* c : b.children) {
        const Style& cs = *c->style;
        if (cs.floating != Float::None) {
            if (!floating) {
                floatTop = y + (first ? 0 : prevMargin);
                floatBottom = floatTop;
                floatLeft = 0;
                floatRight = innerW;
                floating = true;
            }
            LayoutBox(ctx, *c, innerW, true);
            const float mw = c->w + MarginPx(*c, 1, innerW) + MarginPx(*c, 3, innerW);
            if (floatRight - floatLeft < mw && (floatLeft > 0 || floatRight < innerW)) {
                floatTop = floatBottom;
                floatLeft = 0;
                floatRight = innerW;
            }
            if (cs.floating == Float::Left) {
                c->x = left + floatLeft + MarginPx(*c, 3, innerW);
                floatLeft += mw;
            } else {
                c->x = left + floatRight - mw + MarginPx(*c, 3, innerW);
                floatRight -= mw;
            }
            c->y = top + floatTop + MarginPx(*c, 0, innerW);
            floatBottom = std::max(floatBottom, floatTop + c->h + MarginPx(*c, 0, innerW) + MarginPx(*c, 2, innerW));
            continue;
        }
        if (floating) {
            y = std::max(y + prevMargin, floatBottom);
            prevMargin = 0;
            floating = false;
        }
        const float mt = MarginPx(*c, 0, innerW), mb = MarginPx(*c, 2, innerW);
        y += first ? mt : std::max(mt, prevMargin);
        first = false;
        const bool shrink = c->kind != Box::Kind::Block || cs.display == Display::InlineBlock;
        LayoutBox(ctx, *c, innerW, shrink);
        c->x = left + HorizontalOffset(*c, *b.style, innerW);
        c->y = top + y;
        if (c->firstBaseline >= 0 && b.firstBaseline < 0) b.firstBaseline = c->y + c->firstBaseline;
        if (c->lastBaseline >= 0) b.lastBaseline = c->y + c->lastBaseline;
        y += c->h;
        prevMargin = mb;
    }
    if (floating) y = std::max(y, floatBottom);
    else y += prevMargin;
    return y;
}

}  // namespace

void LayoutBox(LayoutContext& ctx, Box& b, float cbWidth, bool shrink) {
    switch (b.kind) {
    case Box::Kind::Image: {
        const auto [w, h] = PictureSize(b, cbWidth);
        b.w = w;
        b.h = h;
        return;
    }
    case Box::Kind::Table: LayoutTable(ctx, b, cbWidth); return;
    case Box::Kind::Block: LayoutBlock(ctx, b, cbWidth, shrink); return;
    }
}

void LayoutBlock(LayoutContext& ctx, Box& b, float cbWidth, bool shrink) {
    const Style& s = *b.style;
    const float ml = MarginPx(b, 3, cbWidth), mr = MarginPx(b, 1, cbWidth);
    float borderW;
    if (b.forcedWidth) {
        borderW = b.w;
    } else {
        if (!s.width.IsAuto()) {
            borderW = BorderBoxWidth(s, s.width, cbWidth);
        } else if (shrink) {
            Intrinsic(ctx, b);
            borderW = std::min(std::max(b.minW, cbWidth - ml - mr), b.maxW);
        } else {
            borderW = std::max(0.0f, cbWidth - ml - mr);
        }
        if (!s.maxWidth.IsAuto()) borderW = std::min(borderW, BorderBoxWidth(s, s.maxWidth, cbWidth));
        borderW = std::max({borderW, BorderBoxWidth(s, s.minWidth, cbWidth), s.PaddingH()});
    }
    b.w = borderW;
    const float innerW = std::max(0.0f, borderW - s.PaddingH());
    const float left = s.border[3].width + s.padding[3];
    const float top = s.border[0].width + s.padding[0];
    float contentH = 0;
    b.firstBaseline = b.lastBaseline = -1;
    if (b.inlineContent) {
        contentH = LayoutLines(ctx, b, innerW, left, top);
    } else {
        contentH = LayoutChildren(ctx, b, innerW, left, top);
    }
    if (!b.isCell && s.height.unit == Length::Px) contentH = s.borderBox ? s.height.value - s.PaddingV() : s.height.value;
    // A broken picture shown as its alt text keeps the proportions its attributes give.
    else if (s.height.IsAuto() && s.aspectRatio > 0 && b.node && b.node->tag == "img") contentH = innerW / s.aspectRatio;
    if (!b.isCell) {
        auto content = [&](const Length& l) { return s.borderBox ? l.value - s.PaddingV() : l.value; };
        if (s.maxHeight.unit == Length::Px) contentH = std::min(contentH, content(s.maxHeight));
        if (s.minHeight.unit == Length::Px) contentH = std::max(contentH, content(s.minHeight));
    }
    b.contentH = std::max(0.0f, contentH) + s.PaddingV();
    b.h = b.contentH;
}

void Intrinsic(LayoutContext& ctx, Box& b) {
    if (b.intrinsicDone) return;
    b.intrinsicDone = true;
    const Style& s = *b.style;
    float mn = 0, mx = 0;
    if (b.kind == Box::Kind::Image) {
        mn = mx = PictureSize(b, 0).first;
    } else if (b.kind == Box::Kind::Table) {
        const TableWidths cols = TableContentWidths(ctx, b);
        mn = cols.min;
        mx = std::max(cols.max, mn);
        if (s.width.unit == Length::Px) mn = mx = std::max(s.width.value, mn);
    } else {
        if (b.inlineContent) {
            float line = 0, word = 0, floats = 0;
            for (std::size_t i = 0; i < b.atoms.size(); ++i) {
                const Atom& a = b.atoms[i];
                float w = a.width;
                if (a.kind == Atom::Kind::Atomic || a.kind == Atom::Kind::Float) {
                    Intrinsic(ctx, *a.box);
                    w = a.box->maxW + MarginPx(*a.box, 1, 0) + MarginPx(*a.box, 3, 0);
                    const float wmin = a.box->minW + MarginPx(*a.box, 1, 0) + MarginPx(*a.box, 3, 0);
                    if (a.kind == Atom::Kind::Float) {
                        mn = std::max(mn, wmin);
                        floats += w;  // beside the text at best
                        continue;
                    }
                }
                if (a.kind == Atom::Kind::Break) {
                    mx = std::max(mx, line);
                    line = word = 0;
                    continue;
                }
                if (a.breakBefore) word = 0;
                word += w;
                line += w;
                mn = std::max(mn, word - a.trailingSpace);
                mx = std::max(mx, line - a.trailingSpace);
            }
            // Floats stand beside the text.
            mx = std::max(mx, line) + floats;
        }
        for (Box* c : b.children) {
            Intrinsic(ctx, *c);
            const float margins = MarginPx(*c, 1, 0) + MarginPx(*c, 3, 0);
            mn = std::max(mn, c->minW + margins);
            mx = std::max(mx, c->maxW + margins);
        }
        if (s.width.unit == Length::Px && !b.isCell) mn = mx = std::max(0.0f, BorderBoxWidth(s, s.width, 0) - s.PaddingH());
        if (!b.isCell) {
            // Max- and min-width in pixels bound what it asks of its container.
            if (s.maxWidth.unit == Length::Px) {
                const float most = std::max(0.0f, BorderBoxWidth(s, s.maxWidth, 0) - s.PaddingH());
                mn = std::min(mn, most);
                mx = std::min(mx, most);
            }
            if (s.minWidth.unit == Length::Px) {
                const float least = std::max(0.0f, BorderBoxWidth(s, s.minWidth, 0) - s.PaddingH());
                mn = std::max(mn, least);
                mx = std::max(mx, least);
            }
        }
        mn += s.PaddingH();
        mx += s.PaddingH();
        if (b.isCell && s.width.unit == Length::Px) mx = std::max(mn, s.width.value + s.PaddingH());
    }
    b.minW = mn;
    b.maxW = std::max(mn, mx);
}

}  // namespace mojian::html
