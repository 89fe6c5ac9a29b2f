#include "mobile/Geometry.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <map>
#include <optional>
#include <utility>

#include "compose/Composition.h"

namespace mojian::mobile {

namespace {

const html::Node* EnclosingLink(const html::Node* n) {
    for (; n; n = n->parent)
        if (n->IsElement() && n->tag == "a" && n->Attr("href")) return n;
    return nullptr;
}

const html::Node* FindMap(const html::Node& n, std::string_view name) {
    if (n.IsElement() && n.tag == "map") {
        const std::string* own = n.Attr("name");
        if (own && *own == name) return &n;
    }
    for (const auto& c : n.children)
        if (const html::Node* found = FindMap(*c, name)) return found;
    return nullptr;
}

void Areas(const html::Node& n, std::vector<const html::Node*>& out) {
    for (const auto& c : n.children) {
        if (c->IsElement() && c->tag == "area" && c->Attr("href")) out.push_back(c.get());
        Areas(*c, out);
    }
}

std::vector<float> Coords(const std::string& text) {
    std::vector<float> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ',' || text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == ';'))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !(text[i] == ',' || text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == ';'))
            ++i;
        if (i == start) break;
        try {
            out.push_back(std::stof(text.substr(start, i - start)));
        } catch (...) {
            out.push_back(0);  // browsers read a number they cannot parse as 0
        }
    }
    return out;
}

// The area's shape as a box relative to the picture's top left; nothing
// when its coordinates do not make one.
std::optional<html::Rect> AreaBox(const html::Node& area, const html::Rect& picture) {
    std::string shape = area.Attr("shape") ? *area.Attr("shape") : "rect";
    std::transform(shape.begin(), shape.end(), shape.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::vector<float> c = Coords(area.Attr("coords") ? *area.Attr("coords") : std::string());
    float x0, y0, x1, y1;
    if (shape == "default") {
        x0 = 0, y0 = 0, x1 = picture.w, y1 = picture.h;
    } else if (shape == "circle" || shape == "circ") {
        if (c.size() < 3 || c[2] <= 0) return std::nullopt;
        x0 = c[0] - c[2], y0 = c[1] - c[2], x1 = c[0] + c[2], y1 = c[1] + c[2];
    } else if (shape == "poly" || shape == "polygon") {
        if (c.size() < 6) return std::nullopt;
        x0 = x1 = c[0], y0 = y1 = c[1];
        for (std::size_t i = 0; i + 1 < c.size(); i += 2) {
            x0 = std::min(x0, c[i]), x1 = std::max(x1, c[i]);
            y0 = std::min(y0, c[i + 1]), y1 = std::max(y1, c[i + 1]);
        }
    } else {
        if (c.size() < 4) return std::nullopt;
        x0 = std::min(c[0], c[2]), x1 = std::max(c[0], c[2]);
        y0 = std::min(c[1], c[3]), y1 = std::max(c[1], c[3]);
    }
    // What lies outside the picture cannot be tapped.
    x0 = std::clamp(x0, 0.0f, picture.w), x1 = std::clamp(x1, 0.0f, picture.w);
    y0 = std::clamp(y0, 0.0f, picture.h), y1 = std::clamp(y1, 0.0f, picture.h);
    if (x1 <= x0 || y1 <= y0) return std::nullopt;
    return html::Rect{picture.x + x0, picture.y + y0, x1 - x0, y1 - y0};
}

class Reader {
public:
    Reader(const html::PageLayout& layout, int outputWidth)
        : scale_(layout.width > 0 ? static_cast<float>(outputWidth) / layout.width : 1.0f) {
        g_.width = outputWidth;
        g_.height = static_cast<int>(std::ceil(layout.height * scale_ - 0.01f));
    }

    PageGeometry Read(const html::PageLayout& layout, const std::vector<std::size_t>& lineOffsets) {
        for (const html::PaintOp& op : layout.ops) {
            if (op.rect.h <= 0) continue;
            switch (op.kind) {
            case html::PaintOp::Kind::Text:
                g_.text.push_back(Rows(op.rect));
                Link(EnclosingLink(op.node), op.rect);
                Start(op.node, op.rect);
                break;
            case html::PaintOp::Kind::Picture:
            case html::PaintOp::Kind::BrokenIcon:
                g_.avoid.push_back(Rows(op.rect));
                if (!op.node) break;
                Start(op.node, op.rect);
                if (!ImageMap(*op.node, op.rect)) Link(EnclosingLink(op.node), op.rect);
                break;
            default: break;
            }
        }
        for (const html::BoxRecord& b : layout.boxes) {
            if (b.tag == "td" || b.tag == "th") g_.avoid.push_back(Rows(b.rect));
            // A link shown as a block covers its whole box (its background, say).
            if (b.tag == "a" && b.node && b.node->Attr("href")) Link(b.node, b.rect);
            if (!b.tag.empty() && b.node && !b.node->implied) Start(b.node, b.rect);
        }
        LineStarts(lineOffsets);
        return std::move(g_);
    }

private:
    RowSpan Rows(const html::Rect& r) const {
        const int top = std::clamp(static_cast<int>(std::floor(r.y * scale_ + 0.01f)), 0, g_.height);
        const int bottom = std::clamp(static_cast<int>(std::ceil(r.Bottom() * scale_ - 0.01f)), top, g_.height);
        return {top, bottom};
    }
    html::Rect Scaled(const html::Rect& r) const {
        return {r.x * scale_, r.y * scale_, r.w * scale_, r.h * scale_};
    }

    void Link(const html::Node* a, const html::Rect& r) {
        if (!a || r.w <= 0 || r.h <= 0) return;
        auto [it, added] = linkIndex_.emplace(a, g_.links.size());
        if (added) g_.links.push_back({*a->Attr("href"), {}});
        g_.links[it->second].rects.push_back(Scaled(r));
    }

    bool ImageMap(const html::Node& img, const html::Rect& r) {
        const std::string* usemap = img.Attr("usemap");
        if (!usemap || usemap->size() < 2 || (*usemap)[0] != '#') return false;
        const html::Node* root = &img;
        while (root->parent) root = root->parent;
        const html::Node* map = FindMap(*root, std::string_view(*usemap).substr(1));
        if (!map) return false;
        std::vector<const html::Node*> areas;
        Areas(*map, areas);
        for (const html::Node* area : areas) {
            if (const auto box = AreaBox(*area, r)) {
                // Each area is a link of its own, even where two name the same address.
                g_.links.push_back({*area->Attr("href"), {Scaled(*box)}});
            }
        }
        return true;
    }

    void Start(const html::Node* n, const html::Rect& r) {
        if (n) starts_.emplace_back(n->range.begin, r.y);
    }

    // A line begins at the top of the first thing drawn from its bytes.
    void LineStarts(const std::vector<std::size_t>& offsets) {
        std::sort(starts_.begin(), starts_.end());
        for (std::size_t k = 1; k < offsets.size(); ++k) {
            const auto it = std::lower_bound(starts_.begin(), starts_.end(), std::make_pair(offsets[k], -1e30f));
            if (it == starts_.end()) continue;
            // Among the things its first node draws, the highest.
            float y = it->second;
            for (auto j = it; j != starts_.end() && j->first == it->first; ++j) y = std::min(y, j->second);
            const int row = static_cast<int>(std::lround(y * scale_));
            if (row > 0 && row < g_.height) g_.lineStarts.push_back(row);
        }
        std::sort(g_.lineStarts.begin(), g_.lineStarts.end());
        g_.lineStarts.erase(std::unique(g_.lineStarts.begin(), g_.lineStarts.end()), g_.lineStarts.end());
    }

    float scale_;
    PageGeometry g_;
    std::map<const html::Node*, std::size_t> linkIndex_;
    std::vector<std::pair<std::size_t, float>> starts_;
};

}  // namespace

PageGeometry MeasurePage(const html::PageLayout& layout, const std::vector<std::size_t>& lineOffsets,
                         int outputWidth) {
    return Reader(layout, outputWidth).Read(layout, lineOffsets);
}

std::vector<std::size_t> LineOffsets(const Composition& composition) {
    std::vector<std::size_t> out;
    std::size_t at = 0;
    for (std::size_t i = 0; i < composition.Lines().size(); ++i) {
        out.push_back(at);
        if (const auto html = composition.LineHtml(i)) at += html->size();
    }
    return out;
}

}  // namespace mojian::mobile
