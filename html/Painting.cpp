#include "html/Painting.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "html/PictureLayout.h"

namespace mojian::html {

namespace {

class Painter {
public:
    Painter(LayoutContext& ctx, bool recordEveryBox)
        : ctx_(ctx), page_(ctx.Page()), recordEveryBox_(recordEveryBox) {}

    void PaintBox(const Box& b, float ax, float ay, int depth, const Node* owner) {
        const Style& s = *b.style;
        const Rect r{ax, ay, b.w, b.h};
        if (b.node) owner = b.node;
        // border-radius rounds the box's own painting; what is inside it
        // overflows the corners as in browsers.
        const bool rounded = RoundedClip(s, r);
        if (s.background) Fill(r, *s.background);
        BackgroundPicture(s, r);
        Borders(s, r);
        Record(b, r, owner);
        const bool deepest = depth > 4 * kMaxDepth;
        if (!deepest && b.kind == Box::Kind::Image) {
            PaintOp op;
            op.kind = b.brokenIcon ? PaintOp::Kind::BrokenIcon : PaintOp::Kind::Picture;
            op.rect = Rect{ax + s.border[3].width + s.padding[3], ay + s.border[0].width + s.padding[0],
                           b.w - s.PaddingH(), b.h - s.PaddingV()};
            op.broken = b.broken;
            op.node = b.node;
            if (b.broken) op.text = AltText(b);
            if (const std::string* src = b.node ? b.node->Attr("src") : nullptr) op.url = *src;
            op.font = ctx_.FontOf(s);
            op.color = s.color;
            page_.ops.push_back(std::move(op));
        }
        if (rounded) PopClip();
        if (deepest || b.kind == Box::Kind::Image) return;
        if (s.overflowHidden) {
            PaintOp op;
            op.kind = PaintOp::Kind::ClipPush;
            op.rect = r;
            page_.ops.push_back(std::move(op));
            clips_.push_back(Intersect(clips_.back(), r));
        }
        if (b.kind == Box::Kind::Table) {
            for (std::size_t i = 0; i < b.rowRects.size(); ++i)
                if (b.rowStyles[i]->background)
                    Fill(Rect{ax + b.rowRects[i].x, ay + b.rowRects[i].y, b.rowRects[i].w, b.rowRects[i].h},
                         *b.rowStyles[i]->background);
            for (const Cell& c : b.cells) PaintBox(*c.box, ax + c.box->x, ay + c.box->y, depth + 1, owner);
        } else {
            const float cy = ay + b.shift;
            for (const Box* c : b.children) PaintBox(*c, ax + c->x, cy + c->y, depth + 1, owner);
            if (s.display == Display::ListItem && b.listIndex > 0) {
                PaintOp op;
                op.kind = PaintOp::Kind::Text;
                op.font = ctx_.FontOf(s);
                op.color = s.color;
                op.text = s.orderedList ? std::u16string() : u"\u2022";
                if (s.orderedList) {
                    std::string num = std::to_string(b.listIndex) + ".";
                    op.text.assign(num.begin(), num.end());
                }
                const float w = ctx_.TextWidth(s, op.text);
                const float base = b.firstBaseline >= 0 ? b.firstBaseline : static_cast<float>(ctx_.MetricsOf(s).ascent);
                op.rect = Rect{ax - w - 8 * s.zoom, cy + base - static_cast<float>(ctx_.MetricsOf(s).ascent), w,
                               static_cast<float>(ctx_.MetricsOf(s).ascent + ctx_.MetricsOf(s).descent)};
                op.baseline = cy + base;
                page_.ops.push_back(std::move(op));
            }
            for (const Frag& f : b.frags) {
                if (f.kind == Frag::Kind::Deco) {
                    const Rect dr{ax + f.rect.x, cy + f.rect.y, f.rect.w, f.rect.h};
                    if (f.style->background) Fill(dr, *f.style->background);
                    Borders(*f.style, dr);
                }
            }
            for (const Box* c : b.inlineBoxes) PaintBox(*c, ax + c->x, cy + c->y, depth + 1, owner);
            for (const Frag& f : b.frags) {
                if (f.kind != Frag::Kind::Text) continue;
                PaintOp op;
                op.kind = PaintOp::Kind::Text;
                op.rect = Rect{ax + f.rect.x, cy + f.rect.y, f.rect.w, f.rect.h};
                op.baseline = cy + f.baseline;
                op.font = ctx_.FontOf(*f.style);
                op.color = f.style->color;
                op.letterSpacing = std::clamp(f.style->letterSpacing, -50.0f, 200.0f);
                op.wordSpacing = std::clamp(f.style->wordSpacing, -50.0f, 200.0f);
                op.underline = f.style->underline;
                op.strike = f.style->strike;
                op.text = f.text;
                op.node = f.node;
                for (char16_t& c : op.text)
                    if (c == 0xA0) c = u' ';
                page_.ops.push_back(std::move(op));
            }
        }
        if (s.overflowHidden) {
            PaintOp op;
            op.kind = PaintOp::Kind::ClipPop;
            page_.ops.push_back(std::move(op));
            clips_.pop_back();
        }
    }

private:
    bool RoundedClip(const Style& s, const Rect& r) {
        if (s.borderRadius.value <= 0 || r.w <= 0 || r.h <= 0) return false;
        const float rx = std::min(s.borderRadius.Resolve(r.w), r.w / 2);
        const float ry = std::min(s.borderRadius.Resolve(r.h), r.h / 2);
        if (rx <= 0 || ry <= 0) return false;
        PaintOp op;
        op.kind = PaintOp::Kind::ClipPush;
        op.rect = r;
        op.radiusX = rx;
        op.radiusY = ry;
        page_.ops.push_back(std::move(op));
        return true;
    }
    void PopClip() {
        PaintOp op;
        op.kind = PaintOp::Kind::ClipPop;
        page_.ops.push_back(std::move(op));
    }
    void Fill(const Rect& r, Color c) {
        if (r.w <= 0 || r.h <= 0) return;
        PaintOp op;
        op.kind = PaintOp::Kind::Fill;
        op.rect = r;
        op.color = c;
        page_.ops.push_back(std::move(op));
    }
    // The background picture, placed in the padding box and drawn within the border box.
    void BackgroundPicture(const Style& s, const Rect& r) {
        const BackgroundImage& bg = s.backgroundImage;
        if (bg.url.empty() || r.w <= 0 || r.h <= 0) return;
        ctx_.QueryPicture(bg.url, false);  // starts it loading; it takes no room
        PaintOp op;
        op.kind = PaintOp::Kind::Background;
        op.url = bg.url;
        op.rect = Rect{r.x + s.border[3].width, r.y + s.border[0].width, r.w - s.border[1].width - s.border[3].width,
                       r.h - s.border[0].width - s.border[2].width};
        op.clip = r;
        op.repeatX = bg.repeatX;
        op.repeatY = bg.repeatY;
        op.positionX = bg.x;
        op.positionY = bg.y;
        op.tileSize = bg.size;
        op.tileWidth = bg.width;
        op.tileHeight = bg.height;
        op.tileScale = s.zoom;  // a picture's own size is in CSS pixels
        page_.ops.push_back(std::move(op));
    }
    void Borders(const Style& s, const Rect& r) {
        Fill(Rect{r.x, r.y, r.w, s.border[0].width}, s.border[0].color);
        Fill(Rect{r.x, r.Bottom() - s.border[2].width, r.w, s.border[2].width}, s.border[2].color);
        Fill(Rect{r.x, r.y, s.border[3].width, r.h}, s.border[3].color);
        Fill(Rect{r.Right() - s.border[1].width, r.y, s.border[1].width, r.h}, s.border[1].color);
    }
    // Tables, cells, pictures, and blocks with text of their own; with
    // recordEveryBox_ every box.
    void Record(const Box& b, const Rect& r, const Node* owner) {
        if (!recordEveryBox_) {
            if (!b.node || b.node->kind != NodeKind::Element) return;
            const std::string& t = b.node->tag;
            const bool textBlock = t != "body" && b.kind == Box::Kind::Block &&
                                   (b.style->display == Display::Block || b.style->display == Display::ListItem ||
                                    b.style->floating != Float::None) &&
                                   b.node->HasOwnText();
            if (t != "table" && t != "td" && t != "th" && t != "img" && !textBlock) return;
        }
        // The lines of a box that hides its overflow stay inside it.
        float left = r.x, right = r.Right();
        if (!b.style->overflowHidden)
            for (const Frag& f : b.frags) {
                float fragRight = r.x + f.rect.Right();
                if (fragRight > right && f.kind == Frag::Kind::Text) {
                    // White space at a line's end hangs there undrawn, as in browsers.
                    const std::size_t end = f.text.find_last_not_of(u' ');
                    if (end == std::u16string::npos) continue;
                    fragRight = r.x + f.rect.x + ctx_.TextWidth(*f.style, std::u16string_view(f.text).substr(0, end + 1));
                }
                left = std::min(left, r.x + f.rect.x);
                right = std::max(right, fragRight);
            }
        const Rect drawn{left, r.y, right - left, r.h};
        page_.boxes.push_back({b.node ? b.node->tag : std::string(), r, owner, Intersect(drawn, clips_.back())});
    }
    static Rect Intersect(const Rect& a, const Rect& b) {
        const float x = std::max(a.x, b.x), y = std::max(a.y, b.y);
        return Rect{x, y, std::max(0.0f, std::min(a.Right(), b.Right()) - x),
                    std::max(0.0f, std::min(a.Bottom(), b.Bottom()) - y)};
    }

    LayoutContext& ctx_;
    PageLayout& page_;
    const bool recordEveryBox_;
    // What the boxes being painted clip their content to, innermost last.
    static constexpr float kFar = std::numeric_limits<float>::max() / 4;
    std::vector<Rect> clips_{Rect{-kFar, -kFar, 2 * kFar, 2 * kFar}};
};

}  // namespace

void PaintBoxes(LayoutContext& ctx, const Box& root, float x, float y, bool recordEveryBox) {
    Painter(ctx, recordEveryBox).PaintBox(root, x, y, 0, nullptr);
    if (recordEveryBox) return;
    // Painting visits inline boxes after the text around them: the records go in document order.
    auto& boxes = ctx.Page().boxes;
    std::stable_sort(boxes.begin(), boxes.end(),
                     [](const BoxRecord& a, const BoxRecord& b) { return a.node->range.begin < b.node->range.begin; });
}

}  // namespace mojian::html
