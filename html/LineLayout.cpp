#include "html/LineLayout.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "html/BlockLayout.h"

namespace mojian::html {

namespace {

struct LineItem {
    Atom* atom;
    float x;
};

// The baseline of an atomic inline box, from its top: its last line's, or
// its bottom edge when it has none or clips its content.
float AtomicBaseline(const Box& ab) {
    if (ab.kind == Box::Kind::Block && ab.lastBaseline >= 0 && !ab.style->overflowHidden) return ab.lastBaseline;
    return ab.h;
}

}  // namespace

float LayoutLines(LayoutContext& ctx, Box& b, float innerW, float left, float top, Where where) {
    const Style& bs = *b.style;
    const FontMetrics& strut = ctx.MetricsOf(bs);
    const float strutH = bs.lineHeight >= 0 ? bs.lineHeight : static_cast<float>(strut.lineHeight);
    b.frags.clear();
    b.inlineBoxes.clear();
    FloatArea& area = *where.area;
    // The content box in the formatting context's coordinates.
    const float ox = where.x + left, oy = where.y + top;
    // The free span of a line at y (ours), h high, between the floats beside it (ours too).
    auto LineEdges = [&](float ly, float h, float& l, float& r) {
        area.Edges(oy + ly, h, ox, ox + innerW, l, r);
        l -= ox;
        r -= ox;
    };
    std::vector<LineItem> line;
    std::vector<const Atom*> open;         // starts of inline elements open across lines
    std::vector<const Atom*> openAtStart;  // ... as they were when the line began
    float y = 0, x = 0;
    bool hasContent = false, hasBreak = false;

    for (Atom& a : b.atoms)
        if (a.kind == Atom::Kind::Atomic) {
            LayoutBox(ctx, *a.box, innerW, true);
        }

    auto finishLine = [&](bool forced) {
        if (!hasContent && !(forced && hasBreak)) {
            line.clear();
            x = 0;
            openAtStart = open;
            return;
        }
        // Trailing spaces do not count for alignment.
        float width = x;
        for (auto it = line.rbegin(); it != line.rend(); ++it) {
            if (it->atom->kind == Atom::Kind::Text) {
                width -= it->atom->trailingSpace;
                break;
            }
            if (it->atom->kind != Atom::Kind::Close && it->atom->kind != Atom::Kind::Break) break;
        }
        // Right to left, boxes and spaces (no words of their own direction)
        // follow each other from the right.
        if (bs.rtl && std::none_of(line.begin(), line.end(), [](const LineItem& it) {
                return it.atom->kind == Atom::Kind::Text && Significant(*it.atom);
            })) {
            for (std::size_t k = 0; k < line.size(); ++k) {
                const Atom& a = *line[k].atom;
                const float w = a.kind == Atom::Kind::Atomic
                                    ? a.box->w + MarginPx(*a.box, 1, innerW) + MarginPx(*a.box, 3, innerW)
                                    : a.width;
                line[k].x = width - line[k].x - w;
            }
        }
        // Vertical metrics around the baseline: the strut, then every piece.
        // Old documents give a line of nothing but pictures and boxes no
        // strut: such a line is exactly as high as what is on it.
        bool textual = ctx.GetCompat() == Compat::NoQuirks;
        for (const LineItem& it : line) {
            const Atom& a = *it.atom;
            if ((a.kind == Atom::Kind::Text && Significant(a)) || a.kind == Atom::Kind::Break ||
                (a.kind == Atom::Kind::Open && (a.style->PaddingH() > 0 || a.style->PaddingV() > 0)))
                textual = true;
        }
        // How far each piece sits below the line's baseline: sub and super
        // move an inline element and everything in it.
        std::vector<float> shift(line.size(), 0);
        {
            std::vector<std::pair<const Style*, float>> stack;  // open elements, their shift
            auto push = [&](const Style* s) {
                const float parentSize = stack.empty() ? bs.fontSize : stack.back().first->fontSize;
                float own = 0;
                if (s->verticalAlign == VAlign::Sub) own = parentSize / 5 + 1;
                else if (s->verticalAlign == VAlign::Super) own = -(parentSize / 3 + 1);
                stack.emplace_back(s, (stack.empty() ? 0 : stack.back().second) + own);
            };
            for (const Atom* o : openAtStart) push(o->style);
            for (std::size_t k = 0; k < line.size(); ++k) {
                const Atom& a = *line[k].atom;
                if (a.kind == Atom::Kind::Open) push(a.style);
                shift[k] = stack.empty() ? 0 : stack.back().second;
                if (a.kind == Atom::Kind::Close && !stack.empty()) stack.pop_back();
            }
        }
        // Below may go negative: with a line-height under the font's height
        // (line-height: 0 in sellers' picture wrappers) every box shrinks to
        // a point above the baseline and the line is that tall, not taller.
        float above = 0, below = std::numeric_limits<float>::lowest();
        auto extend = [&](const Style& s, float down = 0) {
            const FontMetrics& m = ctx.MetricsOf(s);
            const float lh = s.lineHeight >= 0 ? s.lineHeight : static_cast<float>(m.lineHeight);
            const float half = (lh - static_cast<float>(m.ascent + m.descent)) / 2;
            above = std::max(above, static_cast<float>(m.ascent) + half - down);
            below = std::max(below, static_cast<float>(m.descent) + half + down);
        };
        if (textual) extend(bs);
        above = std::max(above, 0.0f);
        float edgeAligned = 0;  // the tallest box aligned to the line's top or bottom
        for (std::size_t k = 0; k < line.size(); ++k) {
            const Atom& a = *line[k].atom;
            if (a.kind == Atom::Kind::Text && (textual || Significant(a))) extend(*a.style, shift[k]);
            if (a.kind == Atom::Kind::Atomic) {
                const Box& ab = *a.box;
                const float mt = MarginPx(ab, 0, innerW), mb = MarginPx(ab, 2, innerW);
                const float h = ab.h + mt + mb;
                const float base = AtomicBaseline(ab) + mt - shift[k];
                if (a.style->verticalAlign == VAlign::Top || a.style->verticalAlign == VAlign::Bottom) {
                    edgeAligned = std::max(edgeAligned, h);
                } else if (a.style->verticalAlign == VAlign::Middle) {
                    const float mid = static_cast<float>(strut.ascent) * 0.3f;
                    above = std::max(above, mid + h / 2);
                    below = std::max(below, h / 2 - mid);
                } else {
                    above = std::max(above, base);
                    below = std::max(below, h - base);
                }
            }
        }
        if (edgeAligned > above + below) below = edgeAligned - above;
        below = std::max(below, -above);
        const float lineH = above + below;
        float el, er;
        LineEdges(y, above + below, el, er);
        float offset = el;
        const float room = er - el - width;
        if (room > 0 && bs.Align() == TextAlign::Center) offset += room / 2;
        if (room > 0 && bs.Align() == TextAlign::Right) offset += room;
        const float baseline = y + above;
        // Decorations of inline elements (background, border) per line.
        std::vector<std::pair<const Atom*, float>> decoStack;
        for (const Atom* o : openAtStart) decoStack.emplace_back(o, offset);
        auto emitDeco = [&](const Atom* o, float x0, float x1) {
            const Style* s = o->style;
            if (!s->background && s->border[0].width + s->border[1].width + s->border[2].width + s->border[3].width == 0)
                return;
            const FontMetrics& m = ctx.MetricsOf(*s);
            Frag f;
            f.kind = Frag::Kind::Deco;
            f.style = s;
            f.rect = Rect{left + x0, top + baseline - static_cast<float>(m.ascent) - s->padding[0] - s->border[0].width,
                          x1 - x0,
                          static_cast<float>(m.ascent + m.descent) + s->PaddingV()};
            b.frags.push_back(std::move(f));
        };
        for (std::size_t k = 0; k < line.size(); ++k) {
            const LineItem& it = line[k];
            Atom& a = *it.atom;
            const float ax = offset + it.x;
            const float down = shift[k];
            switch (a.kind) {
            case Atom::Kind::Open:
                decoStack.emplace_back(&a, ax + Px(a.style->margin[3], 0));
                break;
            case Atom::Kind::Close:
                for (std::size_t d = decoStack.size(); d-- > 0;)
                    if (decoStack[d].first->style == a.style) {
                        emitDeco(decoStack[d].first, decoStack[d].second, ax + a.width - Px(a.style->margin[1], 0));
                        decoStack.erase(decoStack.begin() + static_cast<std::ptrdiff_t>(d));
                        break;
                    }
                break;
            case Atom::Kind::Text: {
                // Pieces of one run on one line are painted as one string.
                if (!b.frags.empty()) {
                    Frag& prev = b.frags.back();
                    if (prev.kind == Frag::Kind::Text && prev.style == a.style &&
                        prev.baseline == top + baseline + down && std::fabs(prev.rect.Right() - (left + ax)) < 0.01f) {
                        prev.text += a.text;
                        prev.rect.w += a.width;
                        break;
                    }
                }
                Frag f;
                f.kind = Frag::Kind::Text;
                f.style = a.style;
                f.text = a.text;
                f.node = a.node;
                const FontMetrics& m = ctx.MetricsOf(*a.style);
                f.rect = Rect{left + ax, top + baseline + down - static_cast<float>(m.ascent), a.width,
                              static_cast<float>(m.ascent + m.descent)};
                f.baseline = top + baseline + down;
                b.frags.push_back(std::move(f));
                break;
            }
            case Atom::Kind::Atomic: {
                Box& ab = *a.box;
                const float mt = MarginPx(ab, 0, innerW);
                ab.x = left + ax + MarginPx(ab, 3, innerW);
                const float mh = ab.h + mt + MarginPx(ab, 2, innerW);
                if (a.style->verticalAlign == VAlign::Top)
                    ab.y = top + y + mt;
                else if (a.style->verticalAlign == VAlign::Bottom)
                    ab.y = top + y + lineH - mh + mt;
                else if (a.style->verticalAlign == VAlign::Middle)
                    ab.y = top + baseline - static_cast<float>(strut.ascent) * 0.3f - (ab.h + mt + MarginPx(ab, 2, innerW)) / 2 + mt;
                else
                    ab.y = top + baseline + down - AtomicBaseline(ab);
                b.inlineBoxes.push_back(&ab);
                break;
            }
            default: break;
            }
        }
        for (auto& [o, x0] : decoStack) emitDeco(o, x0, offset + width);
        if (b.firstBaseline < 0) b.firstBaseline = top + baseline;
        b.lastBaseline = top + baseline;
        y += lineH;
        line.clear();
        x = 0;
        hasContent = hasBreak = false;
        openAtStart = open;
    };

    // A float goes beside the current line if it fits next to what is on
    // it, else below.
    auto placeFloat = [&](Box& fb) {
        LayoutBox(ctx, fb, innerW, true);
        const float mw = fb.w + MarginPx(fb, 1, innerW) + MarginPx(fb, 3, innerW);
        const float mh = fb.h + MarginPx(fb, 0, innerW) + MarginPx(fb, 2, innerW);
        float el, er;
        LineEdges(y, mh, el, er);
        const float fy = er - el - x >= mw ? y : (hasContent ? y + strutH : y);
        const Rect placed = area.Place(oy + fy, mw, mh, fb.style->floating == Float::Left, ox, ox + innerW);
        fb.x = placed.x - where.x + MarginPx(fb, 3, innerW);
        fb.y = placed.y - where.y + MarginPx(fb, 0, innerW);
        b.inlineBoxes.push_back(&fb);
    };

    std::size_t i = 0;
    const std::size_t n = b.atoms.size();
    while (i < n) {
        Atom& a = b.atoms[i];
        if (a.kind == Atom::Kind::Float) {
            placeFloat(*a.box);
            ++i;
            continue;
        }
        if (a.kind == Atom::Kind::Break) {
            line.push_back({&a, x});
            hasBreak = true;
            finishLine(true);
            // <br clear=all>: what follows starts below the floats.
            const Clear clear = a.style ? a.style->clear : Clear::None;
            if (clear != Clear::None)
                y = std::max(y, area.Bottom(clear != Clear::Right, clear != Clear::Left) - oy);
            ++i;
            continue;
        }
        // One unbreakable word: atoms up to the next break opportunity.
        std::size_t j = i;
        float wordW = 0, trailing = 0;
        do {
            const Atom& w = b.atoms[j];
            if (w.kind == Atom::Kind::Atomic)
                wordW += w.box->w + MarginPx(*w.box, 1, innerW) + MarginPx(*w.box, 3, innerW);
            else
                wordW += w.width;
            if (w.kind == Atom::Kind::Text) trailing = w.trailingSpace;
            else if (w.kind != Atom::Kind::Close) trailing = 0;
            ++j;
        } while (j < n && !b.atoms[j].breakBefore && b.atoms[j].kind != Atom::Kind::Break &&
                 b.atoms[j].kind != Atom::Kind::Float);
        float el, er;
        LineEdges(y, strutH, el, er);
        if (hasContent && x + wordW - trailing > er - el + 0.01f) {
            finishLine(false);
            // The new line drops the space the word starts with, if any.
            LineEdges(y, strutH, el, er);
        }
        // A word too wide for the room beside floats starts below them.
        while (!hasContent && wordW - trailing > er - el + 0.01f && (el > 0 || er < innerW)) {
            const float next = area.NextBottom(oy + y) - oy;
            if (next <= y) break;
            y = next;
            LineEdges(y, strutH, el, er);
        }
        for (std::size_t k = i; k < j; ++k) {
            Atom& w = b.atoms[k];
            if (!hasContent && w.kind == Atom::Kind::Text && !w.text.empty() && w.text[0] == u' ') {
                const float sp = ctx.TextWidth(*w.style, u" ");
                w.text.erase(0, 1);
                w.width -= sp;
                if (w.text.empty()) w.trailingSpace = 0;
            }
            line.push_back({&w, x});
            x += w.kind == Atom::Kind::Atomic
                     ? w.box->w + MarginPx(*w.box, 1, innerW) + MarginPx(*w.box, 3, innerW)
                     : w.width;
            if (w.kind == Atom::Kind::Open) open.push_back(&w);
            if (w.kind == Atom::Kind::Close) {
                auto it = std::find_if(open.rbegin(), open.rend(), [&](const Atom* o) { return o->style == w.style; });
                if (it != open.rend()) open.erase(std::next(it).base());
            }
            if (Significant(w)) hasContent = true;
        }
        i = j;
    }
    finishLine(false);
    return y;
}

}  // namespace mojian::html
