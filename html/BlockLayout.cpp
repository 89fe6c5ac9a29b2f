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
            if (parent.Align() == TextAlign::Center) return ml + room / 2;
            if (parent.Align() == TextAlign::Right) return ml + room;
        }
        if (!autoR && parent.rtl) return ml + room;  // right-to-left blocks start at the right
    }
    return ml;
}

// Block children one below the other, margins collapsing between them and,
// where nothing separates them, with the box's own; floats among them go to
// the formatting context, where the lines of later blocks make room for
// them and boxes of their own context stand beside them. Returns the
// content height.
float LayoutChildren(LayoutContext& ctx, Box& b, float innerW, float left, float top, Where where) {
    const Style& bs = *b.style;
    const bool own = OwnContext(b);
    const bool throughTop = !own && bs.border[0].width == 0 && bs.padding[0] == 0;
    const bool throughBottom = !own && bs.border[2].width == 0 && bs.padding[2] == 0 && bs.height.IsAuto() &&
                               (bs.minHeight.IsAuto() || bs.minHeight.value == 0);
    FloatArea& area = *where.area;
    const float ox = where.x + left, oy = where.y + top;  // the content box in the context
    float y = 0;
    Margins pending;      // between what is placed and the next block
    bool placed = false;  // something with height is placed
    auto nextTop = [&] { return y + (placed || !throughTop ? pending.Value() : 0.0f); };
    for (Box* c : b.children) {
        const Style& cs = *c->style;
        if (cs.floating != Float::None) {
            LayoutBox(ctx, *c, innerW, true);
            const float mw = c->w + MarginPx(*c, 1, innerW) + MarginPx(*c, 3, innerW);
            const float mh = c->h + MarginPx(*c, 0, innerW) + MarginPx(*c, 2, innerW);
            const Rect at = area.Place(oy + nextTop(), mw, mh, cs.floating == Float::Left, ox, ox + innerW);
            c->x = at.x - where.x + MarginPx(*c, 3, innerW);
            c->y = at.y - where.y + MarginPx(*c, 0, innerW);
            continue;
        }
        // Clearance: below the floats on the sides it clears.
        if (cs.clear != Clear::None) {
            const float below = area.Bottom(cs.clear != Clear::Right, cs.clear != Clear::Left) - oy;
            if (below > nextTop()) {
                y = below;
                pending = Margins{};
                placed = true;
            }
        }
        const bool shrink = c->kind != Box::Kind::Block || cs.display == Display::InlineBlock;
        const float ml = MarginPx(*c, 3, innerW);
        Margins before = pending;
        before.Add(MarginPx(*c, 0, innerW));
        float cy = y + (placed || !throughTop ? before.Value() : 0.0f);
        float cx = 0, room = innerW;  // where a box of its own context fits beside the floats
        if (OwnContext(*c) && !area.floats.empty()) {
            for (int guard = 0; guard < 1000; ++guard) {
                float l, r;
                area.Edges(oy + cy, 1, ox, ox + innerW, l, r);
                cx = l - ox;
                room = r - l;
                LayoutBox(ctx, *c, room, shrink, Where{nullptr, 0, 0, where.cbHeight});
                area.Edges(oy + cy, c->h, ox, ox + innerW, l, r);
                if (c->w + ml + MarginPx(*c, 1, innerW) <= r - l + 0.5f || (l == ox && r == ox + innerW)) {
                    cx = l - ox;
                    room = r - l;
                    break;
                }
                const float next = area.NextBottom(oy + cy) - oy;
                if (next <= cy) break;
                cy = next;
            }
            if (cy > y + (placed || !throughTop ? before.Value() : 0.0f)) {
                // Moved below floats: that distance replaces the margins above it.
                y = cy;
                pending = Margins{};
                placed = true;
            }
        } else {
            LayoutBox(ctx, *c, innerW, shrink, Where{&area, ox + ml, oy + cy, where.cbHeight});
        }
        c->x = left + cx + HorizontalOffset(*c, *b.style, room);
        if (c->collapsesThrough) {
            // Empty: its margins join those around it; it sits where the next one starts.
            pending.Add(c->marginTop);
            pending.Add(c->marginBottom);
            c->y = top + nextTop();
            continue;
        }
        pending.Add(c->marginTop);
        if (!placed && throughTop) b.marginTop.Add(pending);  // the first child's margin is the box's too
        else y += pending.Value();
        c->y = top + y;
        if (c->firstBaseline >= 0 && b.firstBaseline < 0) b.firstBaseline = c->y + c->firstBaseline;
        if (c->lastBaseline >= 0) b.lastBaseline = c->y + c->lastBaseline;
        y += c->h;
        pending = c->marginBottom;
        placed = true;
    }
    if (placed && throughBottom) {
        b.marginBottom.Add(pending);  // the last child's margin is the box's too
    } else if (placed || !throughTop) {
        y += pending.Value();
    } else {
        // Nothing with height inside: every margin met meets the box's own.
        b.marginTop.Add(pending);
    }
    b.collapsesThrough = !placed && throughTop && throughBottom && y == 0;
    return y;
}

}  // namespace

bool OwnContext(const Box& b) {
    const Style& s = *b.style;
    return b.isCell || b.kind != Box::Kind::Block || s.floating != Float::None ||
           s.display == Display::InlineBlock || s.overflowHidden;
}

void LayoutBox(LayoutContext& ctx, Box& b, float cbWidth, bool shrink, Where where) {
    b.marginTop = Margins{};
    b.marginBottom = Margins{};
    b.marginTop.Add(MarginPx(b, 0, cbWidth));
    b.marginBottom.Add(MarginPx(b, 2, cbWidth));
    b.collapsesThrough = false;
    switch (b.kind) {
    case Box::Kind::Image: {
        const auto [w, h] = PictureSize(b, cbWidth);
        b.w = w;
        b.h = h;
        return;
    }
    case Box::Kind::Table: LayoutTable(ctx, b, cbWidth); return;
    case Box::Kind::Block: LayoutBlock(ctx, b, cbWidth, shrink, where); return;
    }
}

void LayoutBlock(LayoutContext& ctx, Box& b, float cbWidth, bool shrink, Where where) {
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
    // A box of its own context keeps its floats, and its height holds them.
    FloatArea ownArea;
    const bool own = OwnContext(b) || !where.area;
    // Its own height, when the page gives it in advance: what percentages inside resolve against.
    float given = -1;
    if (!b.isCell) {
        if (s.height.unit == Length::Px) given = s.height.value;
        else if (s.height.unit == Length::Percent && where.cbHeight >= 0) given = s.height.Resolve(where.cbHeight);
        if (given >= 0 && s.borderBox) given = std::max(0.0f, given - s.PaddingV());
    }
    const float cbHeight = where.cbHeight;
    if (own) where = Where{&ownArea, 0, 0};
    where.cbHeight = given;
    if (b.inlineContent) {
        contentH = LayoutLines(ctx, b, innerW, left, top, where);
        // Nothing but floats: no line, no height, its margins collapse through it.
        b.collapsesThrough = !own && b.firstBaseline < 0 && s.PaddingV() == 0 && given < 0 && contentH == 0;
    } else {
        contentH = LayoutChildren(ctx, b, innerW, left, top, where);
    }
    if (own) {
        for (const FloatArea::Placed& f : ownArea.floats) contentH = std::max(contentH, f.r.Bottom() - top);
    }
    if (given >= 0) {
        contentH = given;
    } else if (s.height.IsAuto() && s.aspectRatio > 0 && b.node && b.node->tag == "img") {
        // A broken picture shown as its alt text keeps the proportions its attributes give.
        contentH = innerW / s.aspectRatio;
    }
    if (!b.isCell) {
        auto content = [&](const Length& l) {
            const float v = l.unit == Length::Percent ? l.Resolve(cbHeight) : l.value;
            return s.borderBox ? v - s.PaddingV() : v;
        };
        const bool known = cbHeight >= 0;
        if (s.maxHeight.unit == Length::Px || (s.maxHeight.unit == Length::Percent && known))
            contentH = std::min(contentH, content(s.maxHeight));
        if (s.minHeight.unit == Length::Px || (s.minHeight.unit == Length::Percent && known))
            contentH = std::max(contentH, content(s.minHeight));
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
        // A width or max-width in percent is the container's to give: such a
        // picture can shrink to nothing. A broken one, kept as a framed box,
        // is no picture to browsers and holds its size.
        mx = PictureSize(b, -1).first;
        const bool compressible = s.width.unit == Length::Percent || s.maxWidth.unit == Length::Percent;
        mn = compressible && !b.broken ? s.PaddingH() : mx;
    } else if (b.kind == Box::Kind::Table) {
        const TableWidths cols = TableContentWidths(ctx, b);
        mn = cols.min;
        mx = std::max(cols.max, mn);
        if (s.width.unit == Length::Px) mn = mx = std::max(s.width.value, mn);
    } else {
        if (b.inlineContent) {
            // A space that starts a line or ends it takes no room there.
            float line = 0, word = 0, floats = 0, trailing = 0;
            bool lineStart = true;
            for (std::size_t i = 0; i < b.atoms.size(); ++i) {
                const Atom& a = b.atoms[i];
                float w = a.width, wmin = a.width;  // an inline block can shrink to its own narrowest
                if (a.kind == Atom::Kind::Atomic || a.kind == Atom::Kind::Float) {
                    Intrinsic(ctx, *a.box);
                    w = a.box->maxW + MarginPx(*a.box, 1, 0) + MarginPx(*a.box, 3, 0);
                    wmin = a.box->minW + MarginPx(*a.box, 1, 0) + MarginPx(*a.box, 3, 0);
                    if (a.kind == Atom::Kind::Float) {
                        mn = std::max(mn, wmin);
                        floats += w;  // beside the text at best
                        continue;
                    }
                }
                if (a.kind == Atom::Kind::Break) {
                    mx = std::max(mx, line - trailing);
                    line = word = trailing = 0;
                    lineStart = true;
                    continue;
                }
                float space = 0;
                if (a.kind == Atom::Kind::Text && lineStart && !a.text.empty() && a.text[0] == u' ')
                    space = ctx.TextWidth(*a.style, u" ");
                if (a.breakBefore) word = 0;
                word += wmin - space;
                line += w - space;
                if (a.kind == Atom::Kind::Text) trailing = a.text.size() == 1 && space > 0 ? 0 : a.trailingSpace;
                else if (a.kind == Atom::Kind::Atomic) trailing = 0;
                if (Significant(a)) lineStart = false;
                mn = std::max(mn, word - trailing);
                mx = std::max(mx, line - trailing);
            }
            // Floats stand beside the text.
            mx = std::max(mx, line - trailing) + floats;
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
    }
    b.minW = mn;
    b.maxW = std::max(mn, mx);
}

}  // namespace mojian::html
