#include "html/BoxTree.h"

#include <algorithm>
#include <iterator>

#include "html/Characters.h"
#include "html/PictureLayout.h"

namespace mojian::html {

bool Significant(const Atom& a) {
    if (a.kind == Atom::Kind::Text)
        return std::any_of(a.text.begin(), a.text.end(), [](char16_t c) { return c != u' '; });
    return a.kind != Atom::Kind::Open && a.kind != Atom::Kind::Close;
}

namespace {

// Elements browsers never show (the ones the tree keeps for what they say
// about the page), comments and the doctype get no box.
bool Rendered(const Node& e) {
    static constexpr const char* kHidden[] = {"head", "title", "meta", "link", "base", "script", "style", "textarea", "xmp"};
    return std::none_of(std::begin(kHidden), std::end(kHidden), [&](const char* t) { return e.tag == t; });
}

// The space an inline element's start (side 3) or end (side 1) takes on its line.
float EdgeWidth(const Style& s, int side, float cb) {
    return Px(s.margin[side], cb) + s.padding[side] + s.border[side].width;
}

class BoxBuilder {
public:
    explicit BoxBuilder(LayoutContext& ctx) : ctx_(ctx) {}

    Box* BuildRoot(const Node& root, float margin, float zoom) {
        Style rootStyle = RootStyle(zoom);
        rootStyle.quirks = ctx_.GetCompat() == Compat::Quirks;
        Style* s = ctx_.NewStyle(ComputeBodyStyle(root, rootStyle, margin));
        s->display = Display::Block;
        s->floating = Float::None;
        Box* b = ctx_.NewBox(Box::Kind::Block, &root, s);
        BuildChildren(b, root);
        return b;
    }

private:
    struct Entry {
        Box* block = nullptr;  // a block-level box; otherwise an atom
        Atom atom;
    };

    struct Flattening {
        std::vector<Entry> entries;
        char32_t last = 0;  // the last character placed; 0 at a line start
        bool lastSpace = true;
        bool wordStart = true;  // the next letter begins a word
        bool pendingBreak = false;  // the next atom may start a new line (after a picture)
    };

    Box* BuildElementBox(const Node& e, const Style* s) {
        if (e.tag == "table") {
            if (s->display == Display::Table) {
                Box* t = ctx_.NewBox(Box::Kind::Table, &e, s);
                BuildTable(t, e);
                return t;
            }
            // A table shown as a block keeps its rows in an anonymous table inside.
            Box* b = ctx_.NewBox(Box::Kind::Block, &e, s);
            Style* inner = ctx_.AnonymousStyle(*s, Display::Table);
            inner->cellSpacing = s->cellSpacing;
            inner->collapseBorders = s->collapseBorders;
            Box* t = ctx_.NewBox(Box::Kind::Table, nullptr, inner);
            BuildTable(t, e);
            b->children.push_back(t);
            return b;
        }
        Box* b = ctx_.NewBox(Box::Kind::Block, &e, s);
        BuildChildren(b, e);
        return b;
    }

    void BuildTable(Box* t, const Node& e) {
        auto addCell = [&](const Node& c, const Style& rowStyle) {
            const Style* cs = ctx_.NewStyle(ComputeStyle(c, rowStyle));
            if (cs->display == Display::None) return;
            if (cs->display != Display::Cell) {
                // A cell shown as a block sits in an anonymous cell of its own.
                Style* anon = ctx_.AnonymousStyle(rowStyle, Display::Cell);
                anon->verticalAlign = VAlign::Baseline;
                Box* cell = ctx_.NewBox(Box::Kind::Block, nullptr, anon);
                cell->isCell = true;
                Flattening f;
                if (cs->floating != Float::None) AddFloat(BuildElementBox(c, cs), f);
                else if (cs->display == Display::Inline || cs->display == Display::InlineBlock) AddAtomic(BuildElementBox(c, cs), *anon, f);
                else AddBlock(BuildElementBox(c, cs), f);
                TakeContent(cell, f);
                t->rows.back().push_back(cell);
                return;
            }
            Box* cell = ctx_.NewBox(Box::Kind::Block, &c, cs);
            cell->isCell = true;
            BuildChildren(cell, c);
            t->rows.back().push_back(cell);
        };
        auto addRow = [&](const Node& r, const Style& groupStyle) {
            const Style* rs = ctx_.NewStyle(ComputeStyle(r, groupStyle));
            if (rs->display == Display::None) return;
            t->rows.emplace_back();
            t->rowStyles.push_back(rs);
            for (const auto& c : r.children)
                if (c->IsElement() && (c->tag == "td" || c->tag == "th")) addCell(*c, *rs);
        };
        for (const auto& child : e.children) {
            if (!child->IsElement()) continue;
            if (child->tag == "tr") {
                addRow(*child, *t->style);
            } else if (child->tag == "tbody" || child->tag == "thead" || child->tag == "tfoot") {
                const Style* gs = ctx_.NewStyle(ComputeStyle(*child, *t->style));
                if (gs->display == Display::None) continue;
                for (const auto& r : child->children)
                    if (r->IsElement() && r->tag == "tr") addRow(*r, *gs);
            }
        }
    }

    void Flatten(const Node& n, const Style& parentStyle, Flattening& f, int depth) {
        for (const auto& child : n.children) {
            if (child->IsText()) {
                AddText(child->text, parentStyle, f, child.get());
                continue;
            }
            if (!child->IsElement() || !Rendered(*child)) continue;
            const Node& e = *child;
            Style* s = ctx_.NewStyle(ComputeStyle(e, parentStyle));
            if (s->display == Display::None) continue;
            if (e.tag == "img") {
                AddPicture(e, s, parentStyle, f);
                continue;
            }
            if (e.tag == "br") {
                Entry en;
                en.atom.kind = Atom::Kind::Break;
                en.atom.style = s;
                f.entries.push_back(std::move(en));
                f.last = 0;
                f.lastSpace = true;
                continue;
            }
            if (s->floating != Float::None) {
                AddFloat(BuildElementBox(e, s), f);
                continue;
            }
            if (s->display == Display::InlineBlock) {
                AddAtomic(BuildElementBox(e, s), parentStyle, f);
                continue;
            }
            if (s->display == Display::Inline) {
                if (depth > kMaxDepth) continue;
                Entry open;
                open.atom.kind = Atom::Kind::Open;
                open.atom.style = s;
                f.entries.push_back(std::move(open));
                Flatten(e, *s, f, depth + 1);
                Entry close;
                close.atom.kind = Atom::Kind::Close;
                close.atom.style = s;
                f.entries.push_back(std::move(close));
                continue;
            }
            AddBlock(BuildElementBox(e, s), f);
        }
    }

    // An atomic inline box (picture, inline block) on the line.
    void AddAtomic(Box* box, const Style& parentStyle, Flattening& f) {
        Entry en;
        en.atom.kind = Atom::Kind::Atomic;
        en.atom.style = box->style;
        en.atom.box = box;
        en.atom.breakBefore = !box->style->noWrap && !parentStyle.noWrap && !NoBreakAfter(f.last) && f.last != 0;
        f.entries.push_back(std::move(en));
        f.last = 0xFFFC;
        f.lastSpace = false;
    }

    void AddFloat(Box* box, Flattening& f) {
        Entry en;
        en.atom.kind = Atom::Kind::Float;
        en.atom.box = box;
        f.entries.push_back(std::move(en));
    }

    // Where a picture goes: its own box, or the fallback a browser shows
    // when it cannot be loaded (a box with the icon and alt text, or inline,
    // the icon and alt text flowing with the text around).
    void AddPicture(const Node& e, Style* s, const Style& parentStyle, Flattening& f) {
        const PicturePlan plan = PlanPicture(ctx_, e, *s);
        Box* box = nullptr;
        if (plan.show == PicturePlan::Show::Picture) {
            box = ctx_.NewBox(Box::Kind::Image, &e, s);
            box->picture = plan.info;
            box->broken = plan.broken;
        } else {
            // The icon floats at the start of the alt text, in a box that
            // inline is an inline block as wide as its words.
            box = ctx_.NewBox(Box::Kind::Block, &e, s);
            Flattening inside;
            if (plan.icon) AddFloat(BrokenIcon(*s), inside);
            AddText(plan.alt, *s, inside, &e);
            TakeContent(box, inside);
        }
        if (s->floating != Float::None) AddFloat(box, f);
        else if (s->display == Display::Inline || s->display == Display::InlineBlock) AddAtomic(box, parentStyle, f);
        else AddBlock(box, f);
    }

    // The broken-picture icon, floated at the start of the fallback's box.
    Box* BrokenIcon(const Style& s) {
        Style* icon = ctx_.AnonymousStyle(s, Display::Block);
        icon->width = icon->height = Length{Length::Px, kBrokenIconPx * s.zoom};
        icon->floating = Float::Left;
        Box* b = ctx_.NewBox(Box::Kind::Image, nullptr, icon);
        b->brokenIcon = true;
        return b;
    }

    void AddBlock(Box* b, Flattening& f) {
        Entry en;
        en.block = b;
        f.entries.push_back(std::move(en));
        f.last = 0;
        f.lastSpace = true;
    }

    void AddText(std::u16string_view raw, const Style& s, Flattening& f, const Node* node) {
        // Collapse white space as browsers do outside <pre>, and change the
        // case as text-transform asks.
        std::u16string text;
        text.reserve(raw.size());
        for (char16_t c : raw) {
            if (IsInvisible(c)) continue;
            const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
            if (space) {
                if (f.lastSpace) continue;
                text += u' ';
                f.lastSpace = true;
                f.wordStart = true;
                continue;
            }
            switch (s.textTransform) {
            case Style::Transform::Upper: c = ToUpper(c); break;
            case Style::Transform::Lower: c = ToLower(c); break;
            case Style::Transform::Capitalize:
                if (f.wordStart) c = ToUpper(c);
                break;
            case Style::Transform::None: break;
            }
            text += c;
            f.lastSpace = false;
            f.wordStart = false;
        }
        if (text.empty()) return;
        // Split at break opportunities; each piece is an atom.
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size();) {
            std::size_t len;
            const char32_t c = CodePointAt(text, i, len);
            const bool brk = !s.noWrap && BreakBetween(f.last, c);
            if (brk && i > start) {
                PushText(text.substr(start, i - start), s, f, start == 0 ? f.pendingBreak : true, node);
                start = i;
                f.pendingBreak = false;
            } else if (i == start) {
                f.pendingBreak = brk;
            }
            f.last = c;
            i += len;
        }
        PushText(text.substr(start), s, f, start == 0 ? f.pendingBreak : true, node);
        f.pendingBreak = false;
    }

    void PushText(std::u16string piece, const Style& s, Flattening& f, bool breakBefore, const Node* node) {
        Entry en;
        en.atom.kind = Atom::Kind::Text;
        en.atom.node = node;
        en.atom.style = &s;
        en.atom.breakBefore = breakBefore;
        en.atom.text = std::move(piece);
        f.entries.push_back(std::move(en));
    }

    void BuildChildren(Box* b, const Node& n) {
        Flattening f;
        Flatten(n, *b->style, f, 0);
        TakeContent(b, f);
    }

    // Makes what `f` gathered the content of `b`: its lines when it holds
    // only inline content, else its blocks with anonymous blocks around the
    // inline runs between them.
    void TakeContent(Box* b, Flattening& f) {
        // Atomic pieces (pictures, inline blocks) leave a break opportunity behind them.
        for (std::size_t i = 1; i < f.entries.size(); ++i) {
            Atom& a = f.entries[i].atom;
            const Atom& prev = f.entries[i - 1].atom;
            if (!f.entries[i].block && !f.entries[i - 1].block && prev.kind == Atom::Kind::Atomic &&
                (a.kind == Atom::Kind::Text || a.kind == Atom::Kind::Atomic) && !b->style->noWrap &&
                !(a.kind == Atom::Kind::Text && !a.text.empty() && NoBreakBefore(a.text[0])))
                a.breakBefore = true;
        }
        const bool anyBlock = std::any_of(f.entries.begin(), f.entries.end(), [](const Entry& e) { return e.block; });
        if (!anyBlock) {
            if (std::any_of(f.entries.begin(), f.entries.end(), [](const Entry& e) { return Significant(e.atom); })) {
                b->inlineContent = true;
                b->atoms.reserve(f.entries.size());
                for (auto& e : f.entries) b->atoms.push_back(std::move(e.atom));
                MeasureAtoms(*b);
            }
            return;
        }
        Box* run = nullptr;
        bool runSignificant = false;
        auto closeRun = [&]() {
            if (run && runSignificant) {
                MeasureAtoms(*run);
                b->children.push_back(run);
            }
            run = nullptr;
            runSignificant = false;
        };
        for (auto& e : f.entries) {
            if (e.block) {
                closeRun();
                b->children.push_back(e.block);
                continue;
            }
            if (!run) {
                run = ctx_.NewBox(Box::Kind::Block, nullptr, ctx_.AnonymousStyle(*b->style, Display::Block));
                run->inlineContent = true;
            }
            runSignificant = runSignificant || Significant(e.atom);
            run->atoms.push_back(std::move(e.atom));
        }
        closeRun();
        int index = 0;
        for (Box* c : b->children)
            if (c->style->display == Display::ListItem) c->listIndex = ++index;
    }

    void MeasureAtoms(Box& b) {
        for (Atom& a : b.atoms) {
            switch (a.kind) {
            case Atom::Kind::Text:
                a.width = ctx_.TextWidth(*a.style, a.text);
                a.trailingSpace = a.text.back() == u' ' ? ctx_.TextWidth(*a.style, u" ") : 0;
                break;
            case Atom::Kind::Open: a.width = EdgeWidth(*a.style, 3, 0); break;
            case Atom::Kind::Close: a.width = EdgeWidth(*a.style, 1, 0); break;
            default: break;
            }
        }
    }

    LayoutContext& ctx_;
};

}  // namespace

Box* BuildBoxTree(LayoutContext& ctx, const Node& root, float margin, float zoom) {
    return BoxBuilder(ctx).BuildRoot(root, margin, zoom);
}

}  // namespace mojian::html
