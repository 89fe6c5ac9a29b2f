#include "html/Layout.h"

#include "base/Utf.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace mojian::html {

namespace {

bool IsCjk(char32_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) || c == 0xFFFC || (c >= 0x20000 && c <= 0x3FFFF);
}

// Closing punctuation never starts a line; opening marks and currency signs never end one.
bool NoBreakBefore(char32_t c) {
    static constexpr char32_t kSet[] = {0xFF0C, 0x3002, 0x3001, 0xFF1A, 0xFF1B, 0xFF01, 0xFF1F, 0xFF09, 0x3011,
                                        0x300D, 0x300F, 0x300B, 0x3009, 0x201D, 0x2019, 0x2026, 0xFF0E, ',',
                                        '.',    '!',    '?',    ':',    ';',    ')',    ']',    '}',    '%',
                                        0x3015, 0xFF5D, 0xFF3D, 0x30FC, 0xFF05, 0xA0};
    return std::find(std::begin(kSet), std::end(kSet), c) != std::end(kSet);
}
bool NoBreakAfter(char32_t c) {
    static constexpr char32_t kSet[] = {0xFF08, 0x3010, 0x300C, 0x300E, 0x300A, 0x3008, 0x201C, 0x2018,
                                        0xFFE5, 0xA5,   '$',    '(',    '[',    '{',    0x3014, 0xFF5B,
                                        0xFF3B, 0xA0,   0xFFE1, 0xA3};
    return std::find(std::begin(kSet), std::end(kSet), c) != std::end(kSet);
}

bool BreakBetween(char32_t a, char32_t b) {
    if (a == 0 || b == ' ') return false;
    if (a == ' ') return true;
    if (NoBreakBefore(b) || NoBreakAfter(a)) return false;
    return IsCjk(a) || IsCjk(b);
}

char32_t CodePointAt(std::u16string_view s, std::size_t i, std::size_t& len) {
    const char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        len = 2;
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
    }
    len = 1;
    return c;
}

struct Box;

struct Atom {
    enum class Kind : std::uint8_t { Text, Atomic, Break, Open, Close, Float };
    Kind kind = Kind::Text;
    bool breakBefore = false;
    const Style* style = nullptr;
    std::u16string text;
    float width = 0;
    float trailingSpace = 0;  // the collapsible space a text atom ends with
    Box* box = nullptr;
};

struct Frag {
    enum class Kind : std::uint8_t { Text, Deco };
    Kind kind = Kind::Text;
    Rect rect;
    float baseline = 0;
    const Style* style = nullptr;
    std::u16string text;
};

struct Cell {
    Box* box;
    int row, col, rowSpan, colSpan;
};

struct Box {
    enum class Kind : std::uint8_t { Block, Table, Image };
    Kind kind = Kind::Block;
    const Node* node = nullptr;
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
    float shift = 0;          // vertical-align inside a cell
    float contentH = 0;       // the height the content needs, padding and borders included
    float firstBaseline = -1;  // from the border box top; negative: none
    float lastBaseline = -1;
    float marginBox[4] = {0, 0, 0, 0};
    bool intrinsicDone = false;
    float minW = 0, maxW = 0;
    int listIndex = 0;
    bool isCell = false;
    bool forcedWidth = false;
};

constexpr int kMaxColumns = 1000;

float Px(const Length& l, float reference) { return l.IsAuto() ? 0 : l.Resolve(reference); }

class Engine {
public:
    Engine(TextMeasurer& m, PageLayout& out) : measurer_(m), out_(out) {}

    Box* BuildRoot(const Node& root, float margin) {
        Style* s = NewStyle(RootStyle());
        s->display = Display::Block;
        for (auto& m : s->margin) m = Length{Length::Px, margin};
        Box* b = NewBox(Box::Kind::Block, &root, s);
        BuildChildren(b, root);
        return b;
    }

    void Layout(Box& b, float cbWidth, bool shrink) {
        switch (b.kind) {
        case Box::Kind::Image: LayoutImage(b, cbWidth); return;
        case Box::Kind::Table: LayoutTable(b, cbWidth); return;
        case Box::Kind::Block: LayoutBlock(b, cbWidth, shrink); return;
        }
    }

    float MarginPx(const Box& b, int side, float cb) const { return Px(b.style->margin[side], cb); }

private:
    // ---------------------------------------------------------------- building
    Style* NewStyle(Style s) {
        styles_.push_back(std::make_unique<Style>(std::move(s)));
        return styles_.back().get();
    }
    Box* NewBox(Box::Kind kind, const Node* node, const Style* style) {
        boxes_.push_back(std::make_unique<Box>());
        Box* b = boxes_.back().get();
        b->kind = kind;
        b->node = node;
        b->style = style;
        return b;
    }
    Style* AnonymousStyle(const Style& parent, Display display) {
        Style s = parent;
        s.display = display;
        s.floating = Float::None;
        s.background.reset();
        s.backgroundImage = false;
        s.width = s.height = Length{};
        for (auto& m : s.margin) m = Length{Length::Px, 0};
        for (float& p : s.padding) p = 0;
        for (auto& b : s.border) b = BorderSide{};
        s.overflowHidden = false;
        return NewStyle(std::move(s));
    }

    struct Entry {
        Box* block = nullptr;  // a block-level box; otherwise an atom
        Atom atom;
    };

    struct Flattening {
        std::vector<Entry> entries;
        char32_t last = 0;  // the last character placed; 0 at a line start
        bool lastSpace = true;
        bool pendingBreak = false;  // the next atom may start a new line (after a picture)
    };

    Box* BuildElementBox(const Node& e, const Style* s) {
        if (e.tag == "img") return NewBox(Box::Kind::Image, &e, s);
        if (e.tag == "table") {
            if (s->display == Display::Table) {
                Box* t = NewBox(Box::Kind::Table, &e, s);
                BuildTable(t, e);
                return t;
            }
            // A table shown as a block keeps its rows in an anonymous table inside.
            Box* b = NewBox(Box::Kind::Block, &e, s);
            Style* inner = AnonymousStyle(*s, Display::Table);
            inner->cellSpacing = s->cellSpacing;
            Box* t = NewBox(Box::Kind::Table, nullptr, inner);
            BuildTable(t, e);
            b->children.push_back(t);
            return b;
        }
        Box* b = NewBox(Box::Kind::Block, &e, s);
        BuildChildren(b, e);
        return b;
    }

    void BuildTable(Box* t, const Node& e) {
        auto addCell = [&](const Node& c, const Style& rowStyle) {
            const Style* cs = NewStyle(ComputeStyle(c, rowStyle));
            if (cs->display == Display::None) return;
            Box* cell = NewBox(Box::Kind::Block, &c, cs);
            cell->isCell = true;
            BuildChildren(cell, c);
            t->rows.back().push_back(cell);
        };
        auto addRow = [&](const Node& r, const Style& groupStyle) {
            const Style* rs = NewStyle(ComputeStyle(r, groupStyle));
            if (rs->display == Display::None) return;
            t->rows.emplace_back();
            t->rowStyles.push_back(rs);
            for (const auto& c : r.children)
                if (!c->isText && (c->tag == "td" || c->tag == "th")) addCell(*c, *rs);
        };
        for (const auto& child : e.children) {
            if (child->isText) continue;
            if (child->tag == "tr") {
                addRow(*child, *t->style);
            } else if (child->tag == "tbody" || child->tag == "thead" || child->tag == "tfoot") {
                const Style* gs = NewStyle(ComputeStyle(*child, *t->style));
                if (gs->display == Display::None) continue;
                for (const auto& r : child->children)
                    if (!r->isText && r->tag == "tr") addRow(*r, *gs);
            }
        }
    }

    void Flatten(const Node& n, const Style& parentStyle, Flattening& f, int depth) {
        for (const auto& child : n.children) {
            if (child->isText) {
                AddText(child->text, parentStyle, f);
                continue;
            }
            const Node& e = *child;
            const Style* s = NewStyle(ComputeStyle(e, parentStyle));
            if (s->display == Display::None) continue;
            if (e.tag == "br") {
                Entry en;
                en.atom.kind = Atom::Kind::Break;
                en.atom.style = s;
                f.entries.push_back(std::move(en));
                f.last = 0;
                f.lastSpace = true;
                continue;
            }
            const bool replaced = e.tag == "img";
            if (s->floating != Float::None) {
                Entry en;
                en.atom.kind = Atom::Kind::Float;
                en.atom.box = BuildElementBox(e, s);
                f.entries.push_back(std::move(en));
                continue;
            }
            if (replaced || s->display == Display::InlineBlock) {
                if (replaced && s->display != Display::Inline && s->display != Display::InlineBlock) {
                    AddBlock(BuildElementBox(e, s), f);
                    continue;
                }
                Entry en;
                en.atom.kind = Atom::Kind::Atomic;
                en.atom.style = s;
                en.atom.box = BuildElementBox(e, s);
                en.atom.breakBefore = !s->noWrap && !parentStyle.noWrap && !NoBreakAfter(f.last) && f.last != 0;
                f.entries.push_back(std::move(en));
                f.last = 0xFFFC;
                f.lastSpace = false;
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

    void AddBlock(Box* b, Flattening& f) {
        Entry en;
        en.block = b;
        f.entries.push_back(std::move(en));
        f.last = 0;
        f.lastSpace = true;
    }

    void AddText(std::u16string_view raw, const Style& s, Flattening& f) {
        // Collapse white space as browsers do outside <pre>.
        std::u16string text;
        text.reserve(raw.size());
        for (char16_t c : raw) {
            const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
            if (space) {
                if (f.lastSpace) continue;
                text += u' ';
                f.lastSpace = true;
            } else {
                text += c;
                f.lastSpace = false;
            }
        }
        if (text.empty()) return;
        // Split at break opportunities; each piece is an atom.
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size();) {
            std::size_t len;
            const char32_t c = CodePointAt(text, i, len);
            const bool brk = !s.noWrap && BreakBetween(f.last, c);
            if (brk && i > start) {
                PushText(text.substr(start, i - start), s, f, start == 0 ? f.pendingBreak : true);
                start = i;
                f.pendingBreak = false;
            } else if (i == start) {
                f.pendingBreak = brk;
            }
            f.last = c;
            i += len;
        }
        PushText(text.substr(start), s, f, start == 0 ? f.pendingBreak : true);
        f.pendingBreak = false;
    }

    void PushText(std::u16string piece, const Style& s, Flattening& f, bool breakBefore) {
        Entry en;
        en.atom.kind = Atom::Kind::Text;
        en.atom.style = &s;
        en.atom.breakBefore = breakBefore;
        en.atom.text = std::move(piece);
        f.entries.push_back(std::move(en));
    }

    static bool Significant(const Atom& a) {
        if (a.kind == Atom::Kind::Text)
            return std::any_of(a.text.begin(), a.text.end(), [](char16_t c) { return c != u' '; });
        return a.kind != Atom::Kind::Open && a.kind != Atom::Kind::Close;
    }

    void BuildChildren(Box* b, const Node& n) {
        Flattening f;
        Flatten(n, *b->style, f, 0);
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
                run = NewBox(Box::Kind::Block, nullptr, AnonymousStyle(*b->style, Display::Block));
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

    // ---------------------------------------------------------------- measuring
    int FontOf(const Style& s) {
        auto it = fontOfStyle_.find(&s);
        if (it != fontOfStyle_.end()) return it->second;
        FontKey want{s.fontFamily, static_cast<int>(std::lround(std::clamp(s.fontSize, 1.0f, 400.0f))), s.bold,
                      s.italic};
        int id = -1;
        for (std::size_t i = 0; i < out_.fonts.size(); ++i)
            if (out_.fonts[i] == want) id = static_cast<int>(i);
        if (id < 0) {
            out_.fonts.push_back(want);
            metrics_.push_back(measurer_.Metrics(want));
            id = static_cast<int>(out_.fonts.size() - 1);
        }
        fontOfStyle_[&s] = id;
        return id;
    }

    const FontMetrics& MetricsOf(const Style& s) { return metrics_[static_cast<std::size_t>(FontOf(s))]; }

    float TextWidth(const Style& s, std::u16string_view text) {
        const int font = FontOf(s);
        float w = 0;
        for (std::size_t i = 0; i < text.size();) {
            std::size_t len;
            char32_t cp = CodePointAt(text, i, len);
            if (cp == 0xA0) cp = ' ';
            const std::uint64_t key = (static_cast<std::uint64_t>(font) << 32) | cp;
            auto it = advances_.find(key);
            if (it == advances_.end()) {
                const std::u16string_view unit = cp == ' ' ? std::u16string_view(u" ") : text.substr(i, len);
                it = advances_.emplace(key, measurer_.Advance(out_.fonts[static_cast<std::size_t>(font)], unit)).first;
            }
            w += static_cast<float>(it->second) + std::clamp(s.letterSpacing, -50.0f, 200.0f);
            i += len;
        }
        return w;
    }

    float EdgeWidth(const Style& s, int side, float cb) {
        return Px(s.margin[side], cb) + s.padding[side] + s.border[side].width;
    }

    void MeasureAtoms(Box& b) {
        for (Atom& a : b.atoms) {
            switch (a.kind) {
            case Atom::Kind::Text:
                a.width = TextWidth(*a.style, a.text);
                a.trailingSpace = a.text.back() == u' ' ? TextWidth(*a.style, u" ") : 0;
                break;
            case Atom::Kind::Open: a.width = EdgeWidth(*a.style, 3, 0); break;
            case Atom::Kind::Close: a.width = EdgeWidth(*a.style, 1, 0); break;
            default: break;
            }
        }
    }

    // Border-box widths: the narrowest without overflow, and the widest useful.
    void Intrinsic(Box& b) {
        if (b.intrinsicDone) return;
        b.intrinsicDone = true;
        const Style& s = *b.style;
        float mn = 0, mx = 0;
        if (b.kind == Box::Kind::Image) {
            mn = mx = ImageSize(b, 0).first;
        } else if (b.kind == Box::Kind::Table) {
            TableColumns cols = Columns(b);
            mn = cols.minTotal;
            mx = std::max(cols.maxTotal, mn);
            if (s.width.unit == Length::Px) mn = mx = std::max(s.width.value, mn);
        } else {
            if (b.inlineContent) {
                float line = 0, word = 0;
                for (std::size_t i = 0; i < b.atoms.size(); ++i) {
                    const Atom& a = b.atoms[i];
                    float w = a.width;
                    if (a.kind == Atom::Kind::Atomic || a.kind == Atom::Kind::Float) {
                        Intrinsic(*a.box);
                        w = a.box->maxW + MarginPx(*a.box, 1, 0) + MarginPx(*a.box, 3, 0);
                        const float wmin = a.box->minW + MarginPx(*a.box, 1, 0) + MarginPx(*a.box, 3, 0);
                        if (a.kind == Atom::Kind::Float) {
                            mn = std::max(mn, wmin);
                            mx = std::max(mx, w);  // beside the text at best
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
                float floats = 0;
                for (const Atom& a : b.atoms)
                    if (a.kind == Atom::Kind::Float) floats += a.box->maxW;
                mx = std::max(mx, line) + (floats > 0 && mx > 0 ? floats : 0);
            }
            for (Box* c : b.children) {
                Intrinsic(*c);
                const float margins = MarginPx(*c, 1, 0) + MarginPx(*c, 3, 0);
                mn = std::max(mn, c->minW + margins);
                mx = std::max(mx, c->maxW + margins);
            }
            if (s.width.unit == Length::Px && !b.isCell) mn = mx = s.width.value;
            mn += s.PaddingH();
            mx += s.PaddingH();
            if (b.isCell && s.width.unit == Length::Px) mx = std::max(mn, s.width.value + s.PaddingH());
        }
        b.minW = mn;
        b.maxW = std::max(mn, mx);
    }

    // ---------------------------------------------------------------- pictures
    std::pair<float, float> ImageSize(const Box& b, float cbWidth) {
        const Style& s = *b.style;
        const std::string* alt = b.node ? b.node->Attr("alt") : nullptr;
        float w = s.width.IsAuto() ? -1 : s.width.Resolve(cbWidth);
        float h = s.height.unit == Length::Px ? s.height.value : -1;
        if (w < 0 && h < 0) {
            // No size given: a browser shows the alt text at its natural width.
            const float text = alt ? TextWidth(s, AltText(b)) : 0;
            w = std::max(16.0f, text + 20.0f);
            h = std::max(16.0f, static_cast<float>(MetricsOf(s).lineHeight) + 4);
        } else if (w < 0) {
            w = h;
        } else if (h < 0) {
            h = w;
        }
        return {w + s.PaddingH(), h + s.PaddingV()};
    }

    static std::u16string AltText(const Box& b);

    void LayoutImage(Box& b, float cbWidth) {
        const auto [w, h] = ImageSize(b, cbWidth);
        b.w = w;
        b.h = h;
    }

    // ---------------------------------------------------------------- blocks
    void LayoutBlock(Box& b, float cbWidth, bool shrink) {
        const Style& s = *b.style;
        const float ml = MarginPx(b, 3, cbWidth), mr = MarginPx(b, 1, cbWidth);
        float borderW;
        if (b.forcedWidth) {
            borderW = b.w;
        } else if (!s.width.IsAuto()) {
            borderW = s.width.Resolve(cbWidth) + s.PaddingH();
        } else if (shrink) {
            Intrinsic(b);
            borderW = std::min(std::max(b.minW, cbWidth - ml - mr), b.maxW);
        } else {
            borderW = std::max(0.0f, cbWidth - ml - mr);
        }
        b.w = borderW;
        const float innerW = std::max(0.0f, borderW - s.PaddingH());
        const float left = s.border[3].width + s.padding[3];
        const float top = s.border[0].width + s.padding[0];
        float contentH = 0;
        b.firstBaseline = b.lastBaseline = -1;
        if (b.inlineContent) {
            contentH = LayoutLines(b, innerW, left, top);
        } else {
            contentH = LayoutChildren(b, innerW, left, top);
        }
        if (!b.isCell && s.height.unit == Length::Px) contentH = s.height.value;
        b.contentH = std::max(0.0f, contentH) + s.PaddingV();
        b.h = b.contentH;
    }

    float LayoutChildren(Box& b, float innerW, float left, float top) {
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
                Layout(*c, innerW, true);
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
            Layout(*c, innerW, shrink);
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

    // ---------------------------------------------------------------- lines
    struct FloatRect {
        Rect r;
        bool left;
    };

    struct LineItem {
        Atom* atom;
        float x;
    };

    void LineEdges(const std::vector<FloatRect>& floats, float y, float h, float innerW, float& l, float& r) {
        l = 0;
        r = innerW;
        for (const auto& f : floats) {
            if (f.r.y < y + std::max(h, 1.0f) && f.r.Bottom() > y) {
                if (f.left) l = std::max(l, f.r.Right());
                else r = std::min(r, f.r.x);
            }
        }
    }

    float LayoutLines(Box& b, float innerW, float left, float top) {
        const Style& bs = *b.style;
        const FontMetrics& strut = MetricsOf(bs);
        const float strutH = bs.lineHeight >= 0 ? bs.lineHeight : static_cast<float>(strut.lineHeight);
        b.frags.clear();
        b.inlineBoxes.clear();
        std::vector<FloatRect> floats;
        std::vector<LineItem> line;
        std::vector<const Style*> open;  // inline elements open across lines
        float y = 0, x = 0;
        bool hasContent = false, hasBreak = false;

        for (Atom& a : b.atoms)
            if (a.kind == Atom::Kind::Atomic) {
                Layout(*a.box, innerW, true);
            }

        auto finishLine = [&](bool forced) {
            if (!hasContent && !(forced && hasBreak)) {
                line.clear();
                x = 0;
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
            // Vertical metrics around the baseline: the strut, then every piece.
            float above = 0, below = 0;
            auto extend = [&](const Style& s) {
                const FontMetrics& m = MetricsOf(s);
                const float lh = s.lineHeight >= 0 ? s.lineHeight : static_cast<float>(m.lineHeight);
                const float half = (lh - static_cast<float>(m.ascent + m.descent)) / 2;
                above = std::max(above, static_cast<float>(m.ascent) + half);
                below = std::max(below, static_cast<float>(m.descent) + half);
            };
            extend(bs);
            above = std::max(above, 0.0f);
            for (const LineItem& it : line) {
                const Atom& a = *it.atom;
                if (a.kind == Atom::Kind::Text) extend(*a.style);
                if (a.kind == Atom::Kind::Atomic) {
                    const Box& ab = *a.box;
                    const float mt = MarginPx(ab, 0, innerW), mb = MarginPx(ab, 2, innerW);
                    const float h = ab.h + mt + mb;
                    const float base = AtomicBaseline(ab) + mt;
                    if (a.style->verticalAlign == VAlign::Middle) {
                        const float mid = static_cast<float>(strut.ascent) * 0.3f;
                        above = std::max(above, mid + h / 2);
                        below = std::max(below, h / 2 - mid);
                    } else {
                        above = std::max(above, base);
                        below = std::max(below, h - base);
                    }
                }
            }
            float el, er;
            LineEdges(floats, y, above + below, innerW, el, er);
            float offset = el;
            const float room = er - el - width;
            if (room > 0 && bs.textAlign == TextAlign::Center) offset += room / 2;
            if (room > 0 && bs.textAlign == TextAlign::Right) offset += room;
            const float baseline = y + above;
            // Decorations of inline elements (background, border) per line.
            std::vector<std::pair<const Style*, float>> decoStack;
            for (const Style* s : open) decoStack.emplace_back(s, offset);
            auto emitDeco = [&](const Style* s, float x0, float x1) {
                if (!s->background && s->border[0].width + s->border[1].width + s->border[2].width + s->border[3].width == 0)
                    return;
                const FontMetrics& m = MetricsOf(*s);
                Frag f;
                f.kind = Frag::Kind::Deco;
                f.style = s;
                f.rect = Rect{left + x0, top + baseline - static_cast<float>(m.ascent) - s->padding[0] - s->border[0].width,
                              x1 - x0,
                              static_cast<float>(m.ascent + m.descent) + s->PaddingV()};
                b.frags.push_back(std::move(f));
            };
            for (const LineItem& it : line) {
                Atom& a = *it.atom;
                const float ax = offset + it.x;
                switch (a.kind) {
                case Atom::Kind::Open:
                    decoStack.emplace_back(a.style, ax + Px(a.style->margin[3], 0));
                    break;
                case Atom::Kind::Close:
                    for (std::size_t k = decoStack.size(); k-- > 0;)
                        if (decoStack[k].first == a.style) {
                            emitDeco(a.style, decoStack[k].second, ax + a.width - Px(a.style->margin[1], 0));
                            decoStack.erase(decoStack.begin() + static_cast<std::ptrdiff_t>(k));
                            break;
                        }
                    break;
                case Atom::Kind::Text: {
                    // Pieces of one run on one line are painted as one string.
                    if (!b.frags.empty()) {
                        Frag& prev = b.frags.back();
                        if (prev.kind == Frag::Kind::Text && prev.style == a.style &&
                            prev.baseline == top + baseline && std::fabs(prev.rect.Right() - (left + ax)) < 0.01f) {
                            prev.text += a.text;
                            prev.rect.w += a.width;
                            break;
                        }
                    }
                    Frag f;
                    f.kind = Frag::Kind::Text;
                    f.style = a.style;
                    f.text = a.text;
                    const FontMetrics& m = MetricsOf(*a.style);
                    f.rect = Rect{left + ax, top + baseline - static_cast<float>(m.ascent), a.width,
                                  static_cast<float>(m.ascent + m.descent)};
                    f.baseline = top + baseline;
                    b.frags.push_back(std::move(f));
                    break;
                }
                case Atom::Kind::Atomic: {
                    Box& ab = *a.box;
                    const float mt = MarginPx(ab, 0, innerW);
                    ab.x = left + ax + MarginPx(ab, 3, innerW);
                    if (a.style->verticalAlign == VAlign::Middle)
                        ab.y = top + baseline - static_cast<float>(strut.ascent) * 0.3f - (ab.h + mt + MarginPx(ab, 2, innerW)) / 2 + mt;
                    else
                        ab.y = top + baseline - AtomicBaseline(ab);
                    b.inlineBoxes.push_back(&ab);
                    break;
                }
                default: break;
                }
            }
            for (auto& [s, x0] : decoStack) emitDeco(s, x0, offset + width);
            if (b.firstBaseline < 0) b.firstBaseline = top + baseline;
            b.lastBaseline = top + baseline;
            y += above + below;
            line.clear();
            x = 0;
            hasContent = hasBreak = false;
        };

        auto placeFloat = [&](Box& fb) {
            Layout(fb, innerW, true);
            const float mw = fb.w + MarginPx(fb, 1, innerW) + MarginPx(fb, 3, innerW);
            const float mh = fb.h + MarginPx(fb, 0, innerW) + MarginPx(fb, 2, innerW);
            float fy = y;
            for (int guard = 0; guard < 1000; ++guard) {
                float el, er;
                LineEdges(floats, fy, mh, innerW, el, er);
                const float used = fy == y ? x : 0;
                if (er - el - used >= mw || (el == 0 && er == innerW)) {
                    const bool isLeft = fb.style->floating == Float::Left;
                    const float fx = isLeft ? el : er - mw;
                    floats.push_back({Rect{fx, fy, mw, mh}, isLeft});
                    fb.x = left + fx + MarginPx(fb, 3, innerW);
                    fb.y = top + fy + MarginPx(fb, 0, innerW);
                    b.inlineBoxes.push_back(&fb);
                    return;
                }
                float next = -1;
                for (const auto& f : floats)
                    if (f.r.Bottom() > fy && (next < 0 || f.r.Bottom() < next)) next = f.r.Bottom();
                if (next < 0) break;
                fy = next;
            }
            floats.push_back({Rect{0, fy, mw, mh}, true});
            fb.x = left + MarginPx(fb, 3, innerW);
            fb.y = top + fy;
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
            LineEdges(floats, y, strutH, innerW, el, er);
            if (hasContent && x + wordW - trailing > er - el + 0.01f) {
                finishLine(false);
                // The new line drops the space the word starts with, if any.
            }
            for (std::size_t k = i; k < j; ++k) {
                Atom& w = b.atoms[k];
                if (!hasContent && w.kind == Atom::Kind::Text && !w.text.empty() && w.text[0] == u' ') {
                    const float sp = TextWidth(*w.style, u" ");
                    w.text.erase(0, 1);
                    w.width -= sp;
                    if (w.text.empty()) w.trailingSpace = 0;
                }
                line.push_back({&w, x});
                x += w.kind == Atom::Kind::Atomic
                         ? w.box->w + MarginPx(*w.box, 1, innerW) + MarginPx(*w.box, 3, innerW)
                         : w.width;
                if (w.kind == Atom::Kind::Open) open.push_back(w.style);
                if (w.kind == Atom::Kind::Close) {
                    auto it = std::find(open.rbegin(), open.rend(), w.style);
                    if (it != open.rend()) open.erase(std::next(it).base());
                }
                if (Significant(w)) hasContent = true;
            }
            i = j;
        }
        finishLine(false);
        for (const auto& f : floats) y = std::max(y, f.r.Bottom());
        return y;
    }

    float AtomicBaseline(const Box& ab) {
        if (ab.kind == Box::Kind::Block && ab.lastBaseline >= 0 && !ab.style->overflowHidden) return ab.lastBaseline;
        return ab.h;
    }

    // ---------------------------------------------------------------- tables
    struct TableColumns {
        std::vector<float> min, max, fixed, percent;
        float minTotal = 0, maxTotal = 0;  // border box
        float extra = 0;                   // spacing and borders
    };

    void BuildGrid(Box& t) {
        if (!t.cells.empty() || t.rows.empty()) return;
        std::vector<std::vector<bool>> taken(t.rows.size());
        int columns = 0;
        // Spans are honoured up to a budget of grid slots, so that a crafted
        // table cannot make the layout quadratic in its size.
        long long budget = 4'000'000;
        for (std::size_t r = 0; r < t.rows.size(); ++r) {
            int c = 0;
            for (Box* cell : t.rows[r]) {
                while (static_cast<std::size_t>(c) < taken[r].size() && taken[r][static_cast<std::size_t>(c)]) ++c;
                if (c >= kMaxColumns) break;  // beyond any real table; such cells are not shown
                int colSpan = std::min(cell->style->colSpan, kMaxColumns - c);
                int rowSpan = std::min<int>(cell->style->rowSpan, static_cast<int>(t.rows.size() - r));
                if (static_cast<long long>(colSpan) * rowSpan > budget) colSpan = rowSpan = 1;
                budget -= static_cast<long long>(colSpan) * rowSpan;
                for (int rr = 0; rr < rowSpan; ++rr) {
                    auto& row = taken[r + static_cast<std::size_t>(rr)];
                    if (row.size() < static_cast<std::size_t>(c + colSpan)) row.resize(static_cast<std::size_t>(c + colSpan), false);
                    for (int cc = 0; cc < colSpan; ++cc) row[static_cast<std::size_t>(c + cc)] = true;
                }
                t.cells.push_back({cell, static_cast<int>(r), c, rowSpan, colSpan});
                c += colSpan;
                columns = std::max(columns, c);
            }
        }
        t.columns = columns;
    }

    TableColumns Columns(Box& t) {
        BuildGrid(t);
        const Style& s = *t.style;
        TableColumns tc;
        const auto n = static_cast<std::size_t>(t.columns);
        tc.min.assign(n, 0);
        tc.max.assign(n, 0);
        tc.fixed.assign(n, -1);
        tc.percent.assign(n, -1);
        const float spacing = s.cellSpacing;
        std::vector<const Cell*> spanning;
        for (const Cell& c : t.cells) {
            Intrinsic(*c.box);
            if (c.colSpan > 1) {
                spanning.push_back(&c);
                continue;
            }
            const auto k = static_cast<std::size_t>(c.col);
            const Style& cs = *c.box->style;
            tc.min[k] = std::max(tc.min[k], c.box->minW);
            tc.max[k] = std::max(tc.max[k], c.box->maxW);
            if (cs.width.unit == Length::Px) tc.fixed[k] = std::max(tc.fixed[k], cs.width.value + cs.PaddingH());
            if (cs.width.unit == Length::Percent) tc.percent[k] = std::max(tc.percent[k], cs.width.value);
        }
        std::stable_sort(spanning.begin(), spanning.end(), [](const Cell* a, const Cell* b) { return a->colSpan < b->colSpan; });
        for (const Cell* c : spanning) {
            const auto k0 = static_cast<std::size_t>(c->col), k1 = k0 + static_cast<std::size_t>(c->colSpan);
            const float inner = spacing * static_cast<float>(c->colSpan - 1);
            // Fixed columns count at their width: a spanning cell only widens
            // the columns when it needs more than they give together.
            auto spread = [&](std::vector<float>& v, float need) {
                float have = inner, weight = 0;
                for (std::size_t k = k0; k < k1; ++k) {
                    have += std::max(v[k], tc.fixed[k]);
                    weight += std::max(tc.max[k], 0.0f);
                }
                if (need <= have) return;
                const float extra = need - have;
                for (std::size_t k = k0; k < k1; ++k) {
                    const float share = weight > 0 ? std::max(tc.max[k], 0.0f) / weight
                                                   : 1.0f / static_cast<float>(c->colSpan);
                    v[k] = std::max({v[k], tc.fixed[k], 0.0f}) + extra * share;
                }
            };
            spread(tc.min, c->box->minW);
            spread(tc.max, c->box->maxW);
            const Style& cs = *c->box->style;
            if (cs.width.unit == Length::Px) {
                bool anyFixed = false;
                for (std::size_t k = k0; k < k1; ++k) anyFixed = anyFixed || tc.fixed[k] >= 0;
                if (!anyFixed) {
                    std::vector<float> f(k1 - k0);
                    float weight = 0;
                    for (std::size_t k = k0; k < k1; ++k) weight += tc.max[k];
                    const float total = cs.width.value + cs.PaddingH() - inner;
                    for (std::size_t k = k0; k < k1; ++k)
                        tc.fixed[k] = weight > 0 ? total * tc.max[k] / weight : total / static_cast<float>(c->colSpan);
                }
            }
        }
        tc.extra = spacing * static_cast<float>(n + 1) + s.PaddingH();
        if (n == 0) tc.extra = s.PaddingH();
        for (std::size_t k = 0; k < n; ++k) {
            if (tc.fixed[k] >= 0) tc.max[k] = std::max(tc.min[k], tc.fixed[k]);
            tc.minTotal += tc.min[k];
            tc.maxTotal += tc.max[k];
        }
        tc.minTotal += tc.extra;
        tc.maxTotal += tc.extra;
        return tc;
    }

    void LayoutTable(Box& t, float cbWidth) {
        const Style& s = *t.style;
        TableColumns tc = Columns(t);
        const auto n = static_cast<std::size_t>(t.columns);
        const float ml = MarginPx(t, 3, cbWidth), mr = MarginPx(t, 1, cbWidth);
        float width;
        if (!s.width.IsAuto()) width = std::max(s.width.Resolve(cbWidth), tc.minTotal);
        else width = std::max(tc.minTotal, std::min(tc.maxTotal, cbWidth - ml - mr));
        const float avail = std::max(0.0f, width - tc.extra);
        // Column widths: percentages and fixed widths first, then the rest by content.
        std::vector<float> col(n, 0);
        float used = 0;
        for (std::size_t k = 0; k < n; ++k) {
            if (tc.percent[k] >= 0) col[k] = std::max(tc.min[k], avail * tc.percent[k] / 100);
            else if (tc.fixed[k] >= 0) col[k] = std::max(tc.min[k], tc.fixed[k]);
            else col[k] = tc.min[k];
            used += col[k];
        }
        float room = avail - used;
        if (room > 0.01f) {
            std::vector<std::size_t> autos;
            for (std::size_t k = 0; k < n; ++k)
                if (tc.percent[k] < 0 && tc.fixed[k] < 0) autos.push_back(k);
            if (!autos.empty()) {
                float grow = 0;
                for (std::size_t k : autos) grow += tc.max[k] - col[k];
                if (grow > 0) {
                    const float f = std::min(1.0f, room / grow);
                    for (std::size_t k : autos) {
                        const float add = (tc.max[k] - col[k]) * f;
                        col[k] += add;
                        room -= add;
                    }
                }
                if (room > 0.01f) {
                    float weight = 0;
                    for (std::size_t k : autos) weight += col[k];
                    for (std::size_t k : autos)
                        col[k] += weight > 0 ? room * col[k] / weight : room / static_cast<float>(autos.size());
                }
            } else {
                float weight = 0;
                for (std::size_t k = 0; k < n; ++k) weight += col[k];
                for (std::size_t k = 0; k < n; ++k)
                    col[k] += weight > 0 ? room * col[k] / weight : room / static_cast<float>(n);
            }
        } else if (room < -0.01f) {
            float shrinkable = 0;
            for (std::size_t k = 0; k < n; ++k) shrinkable += col[k] - tc.min[k];
            if (shrinkable > 0) {
                const float f = std::min(1.0f, -room / shrinkable);
                for (std::size_t k = 0; k < n; ++k) col[k] -= (col[k] - tc.min[k]) * f;
            }
        }
        const float spacing = s.cellSpacing;
        std::vector<float> colX(n + 1, 0);
        colX[0] = s.border[3].width + s.padding[3] + spacing;
        for (std::size_t k = 0; k < n; ++k) colX[k + 1] = colX[k] + col[k] + spacing;

        // Rows: the tallest cell, a row's own height, then spanning cells.
        const std::size_t rows = t.rows.size();
        std::vector<float> rowH(rows, 0);
        for (std::size_t r = 0; r < rows; ++r)
            if (t.rowStyles[r]->height.unit == Length::Px) rowH[r] = t.rowStyles[r]->height.value;
        for (const Cell& c : t.cells) {
            Box& cb = *c.box;
            const auto k0 = static_cast<std::size_t>(c.col), k1 = k0 + static_cast<std::size_t>(c.colSpan);
            cb.w = colX[std::min(k1, n)] - colX[k0] - spacing;
            cb.forcedWidth = true;
            LayoutBlock(cb, cb.w, false);
            // A cell's height, like its width, is its content's: padding and borders come on top.
            if (cb.style->height.unit == Length::Px) cb.h = std::max(cb.h, cb.style->height.value + cb.style->PaddingV());
            if (c.rowSpan == 1) rowH[static_cast<std::size_t>(c.row)] = std::max(rowH[static_cast<std::size_t>(c.row)], cb.h);
        }
        for (const Cell& c : t.cells) {
            if (c.rowSpan == 1) continue;
            const auto r0 = static_cast<std::size_t>(c.row), r1 = r0 + static_cast<std::size_t>(c.rowSpan);
            float have = spacing * static_cast<float>(c.rowSpan - 1);
            for (std::size_t r = r0; r < r1; ++r) have += rowH[r];
            if (c.box->h > have) rowH[r1 - 1] += c.box->h - have;
        }
        const float extraV = spacing * static_cast<float>(rows + 1) + s.PaddingV();
        float total = extraV;
        for (float h : rowH) total += h;
        if (s.height.unit == Length::Px && s.height.value > total && rows > 0) {
            float weight = 0;
            for (float h : rowH) weight += h;
            const float room2 = s.height.value - total;
            for (float& h : rowH) h += weight > 0 ? room2 * h / weight : room2 / static_cast<float>(rows);
            total = s.height.value;
        }
        std::vector<float> rowY(rows + 1, 0);
        rowY[0] = s.border[0].width + s.padding[0] + spacing;
        for (std::size_t r = 0; r < rows; ++r) rowY[r + 1] = rowY[r] + rowH[r] + spacing;
        t.rowRects.assign(rows, Rect{});
        for (std::size_t r = 0; r < rows; ++r)
            t.rowRects[r] = Rect{colX[0], rowY[r], colX[n] - colX[0] - spacing, rowH[r]};
        for (const Cell& c : t.cells) {
            Box& cb = *c.box;
            const auto r0 = static_cast<std::size_t>(c.row);
            const auto r1 = r0 + static_cast<std::size_t>(c.rowSpan);
            const float contentH = cb.contentH;
            cb.x = colX[static_cast<std::size_t>(c.col)];
            cb.y = rowY[r0];
            cb.h = rowY[r1] - rowY[r0] - spacing;
            const float room2 = cb.h - contentH;
            switch (cb.style->verticalAlign) {
            case VAlign::Middle: cb.shift = room2 / 2; break;
            case VAlign::Bottom: cb.shift = room2; break;
            default: cb.shift = 0; break;
            }
            cb.shift = std::max(0.0f, cb.shift);
        }
        t.w = width;
        t.h = total;
    }

    TextMeasurer& measurer_;
    PageLayout& out_;
    std::vector<std::unique_ptr<Style>> styles_;
    std::vector<std::unique_ptr<Box>> boxes_;
    std::unordered_map<const Style*, int> fontOfStyle_;
    std::vector<FontMetrics> metrics_;
    std::unordered_map<std::uint64_t, int> advances_;

public:
    void PaintBox(const Box& b, float ax, float ay, int depth);

private:
    void Fill(const Rect& r, Color c) {
        if (r.w <= 0 || r.h <= 0) return;
        PaintOp op;
        op.kind = PaintOp::Kind::Fill;
        op.rect = r;
        op.color = c;
        out_.ops.push_back(std::move(op));
    }
    void Borders(const Style& s, const Rect& r) {
        Fill(Rect{r.x, r.y, r.w, s.border[0].width}, s.border[0].color);
        Fill(Rect{r.x, r.Bottom() - s.border[2].width, r.w, s.border[2].width}, s.border[2].color);
        Fill(Rect{r.x, r.y, s.border[3].width, r.h}, s.border[3].color);
        Fill(Rect{r.Right() - s.border[1].width, r.y, s.border[1].width, r.h}, s.border[1].color);
    }
    void Record(const Box& b, const Rect& r) {
        if (!b.node) return;
        const std::string& t = b.node->tag;
        if (t == "table" || t == "td" || t == "th" || t == "img") out_.boxes.push_back({t, r});
    }
};

std::u16string Engine::AltText(const Box& b) {
    const std::string* alt = b.node ? b.node->Attr("alt") : nullptr;
    return alt ? Utf8ToUtf16(*alt) : std::u16string();
}

void Engine::PaintBox(const Box& b, float ax, float ay, int depth) {
    const Style& s = *b.style;
    const Rect r{ax, ay, b.w, b.h};
    if (s.background) Fill(r, *s.background);
    Borders(s, r);
    Record(b, r);
    if (depth > 4 * kMaxDepth) return;
    if (b.kind == Box::Kind::Image) {
        PaintOp op;
        op.kind = PaintOp::Kind::BrokenImage;
        op.rect = Rect{ax + s.border[3].width + s.padding[3], ay + s.border[0].width + s.padding[0],
                       b.w - s.PaddingH(), b.h - s.PaddingV()};
        op.text = AltText(b);
        op.font = FontOf(s);
        op.color = s.color;
        out_.ops.push_back(std::move(op));
        return;
    }
    if (s.overflowHidden) {
        PaintOp op;
        op.kind = PaintOp::Kind::ClipPush;
        op.rect = r;
        out_.ops.push_back(std::move(op));
    }
    if (b.kind == Box::Kind::Table) {
        for (std::size_t i = 0; i < b.rowRects.size(); ++i)
            if (b.rowStyles[i]->background)
                Fill(Rect{ax + b.rowRects[i].x, ay + b.rowRects[i].y, b.rowRects[i].w, b.rowRects[i].h},
                     *b.rowStyles[i]->background);
        for (const Cell& c : b.cells) PaintBox(*c.box, ax + c.box->x, ay + c.box->y, depth + 1);
    } else {
        const float cy = ay + b.shift;
        for (const Box* c : b.children) PaintBox(*c, ax + c->x, cy + c->y, depth + 1);
        if (s.display == Display::ListItem && b.listIndex > 0) {
            PaintOp op;
            op.kind = PaintOp::Kind::Text;
            op.font = FontOf(s);
            op.color = s.color;
            op.text = s.orderedList ? std::u16string() : u"\u2022";
            if (s.orderedList) {
                std::string num = std::to_string(b.listIndex) + ".";
                op.text.assign(num.begin(), num.end());
            }
            const float w = TextWidth(s, op.text);
            const float base = b.firstBaseline >= 0 ? b.firstBaseline : static_cast<float>(MetricsOf(s).ascent);
            op.rect = Rect{ax - w - 8, cy + base - static_cast<float>(MetricsOf(s).ascent), w,
                           static_cast<float>(MetricsOf(s).ascent + MetricsOf(s).descent)};
            op.baseline = cy + base;
            out_.ops.push_back(std::move(op));
        }
        for (const Frag& f : b.frags) {
            if (f.kind == Frag::Kind::Deco) {
                const Rect dr{ax + f.rect.x, cy + f.rect.y, f.rect.w, f.rect.h};
                if (f.style->background) Fill(dr, *f.style->background);
                Borders(*f.style, dr);
            }
        }
        for (const Box* c : b.inlineBoxes) PaintBox(*c, ax + c->x, cy + c->y, depth + 1);
        for (const Frag& f : b.frags) {
            if (f.kind != Frag::Kind::Text) continue;
            PaintOp op;
            op.kind = PaintOp::Kind::Text;
            op.rect = Rect{ax + f.rect.x, cy + f.rect.y, f.rect.w, f.rect.h};
            op.baseline = cy + f.baseline;
            op.font = FontOf(*f.style);
            op.color = f.style->color;
            op.letterSpacing = std::clamp(f.style->letterSpacing, -50.0f, 200.0f);
            op.underline = f.style->underline;
            op.strike = f.style->strike;
            op.text = f.text;
            for (char16_t& c : op.text)
                if (c == 0xA0) c = u' ';
            out_.ops.push_back(std::move(op));
        }
    }
    if (s.overflowHidden) {
        PaintOp op;
        op.kind = PaintOp::Kind::ClipPop;
        out_.ops.push_back(std::move(op));
    }
}

bool IsWide(char32_t c) { return IsCjk(c); }

}  // namespace

PageLayout LayoutDocument(const Node& root, const LayoutOptions& options, TextMeasurer& measurer) {
    PageLayout out;
    Engine engine(measurer, out);
    Box* top = engine.BuildRoot(root, std::max(0.0f, options.margin));
    const float width = std::max(1.0f, options.width);
    engine.Layout(*top, width, false);
    top->x = options.margin;
    top->y = options.margin;
    engine.PaintBox(*top, top->x, top->y, 0);
    out.width = width;
    out.height = std::max(0.0f, top->h + 2 * options.margin);
    return out;
}

FontMetrics FixedMeasurer::Metrics(const FontKey& font) {
    FontMetrics m;
    m.ascent = font.size - font.size / 5;
    m.descent = font.size / 5;
    m.lineHeight = font.size + font.size / 4;
    return m;
}

int FixedMeasurer::Advance(const FontKey& font, std::u16string_view character) {
    if (character.empty()) return 0;
    std::size_t len;
    const char32_t c = CodePointAt(character, 0, len);
    return IsWide(c) ? font.size : font.size / 2;
}

}  // namespace mojian::html
