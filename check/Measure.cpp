// The rules that lay the line out with the HTML engine, as the description
// shows it: in a container of the description's width with no margin.
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>

#include "check/LineScan.h"
#include "html/Css.h"
#include "html/Layout.h"
#include "html/Parser.h"

namespace mojian::check {

namespace {

// Layout works in fractions of a pixel; anything within half a pixel fits.
constexpr float kSlackPx = 0.5f;

std::string Pixels(float px) { return std::to_string(std::lround(px)) + " 像素"; }

bool DeclaresMaxWidth(const html::Node& e) {
    const html::Attribute* style = e.FindAttr("style");
    if (!style) return false;
    const auto decls = html::css::ParseDeclarations(style->value);
    return std::any_of(decls.begin(), decls.end(), [](const html::css::Declaration& d) { return d.property == "max-width"; });
}

// What one element's boxes draw, as far as the reader sees it.
struct Drawn {
    float right = 0;
    float width = 0;
};

class Measure {
public:
    Measure(LineScan& scan, html::TextMeasurer& measurer, html::PictureSource& pictures)
        : scan_(scan), measurer_(measurer), pictures_(pictures) {}

    void NaturalPictureWidth(const Rule& r) {
        const html::PageLayout& page = At(static_cast<float>(r.number));
        for (const html::BoxRecord& b : page.boxes) {
            if (b.tag != "img" || !b.node || scan_.widePictures.count(b.node)) continue;
            if (b.rect.w <= r.number + kSlackPx || PictureGivenWidth(*b.node) || DeclaresMaxWidth(*b.node)) continue;
            const std::string* src = b.node->Attr("src");
            if (!src) continue;
            const html::PictureInfo info = pictures_.Query(*src);  // as layout asked
            if (info.state != html::PictureInfo::State::Ready || info.width <= r.number + kSlackPx) continue;
            const html::Attribute* at = b.node->FindAttr("src");
            scan_.Add(r, at->range, "原图宽 " + Pixels(static_cast<float>(info.width)));
            scan_.widePictures.insert(b.node);
        }
    }

    void DrawnWidth(const Rule& r) {
        const float limit = static_cast<float>(r.number);
        const html::PageLayout& page = At(limit);
        std::map<const html::Node*, Drawn> over;
        for (const html::BoxRecord& b : page.boxes) {
            if (!b.node || b.visible.w <= 0) continue;
            if (b.visible.Right() <= limit + kSlackPx && b.visible.w <= limit + kSlackPx) continue;
            Drawn& d = over[b.node];
            d.right = std::max(d.right, b.visible.Right());
            d.width = std::max(d.width, b.visible.w);
        }
        std::vector<const html::Node*> outermost;
        for (const auto& [node, d] : over)
            if (!scan_.widePictures.count(node) && !Inside(node, over)) outermost.push_back(node);
        if (outermost.empty()) return;
        const auto sure = WideWithoutMaxWidth(limit);
        for (const html::Node* node : outermost) {
            if (sure && !sure->count({node->range.begin, node->tag})) continue;
            const Drawn& d = over[node];
            const bool wide = d.width > limit + kSlackPx, out = d.right > limit + kSlackPx;
            std::string detail = "<" + node->tag + "> ";
            if (wide && std::abs(d.right - d.width) < kSlackPx)  // from the left edge on
                detail += "画出来宽 " + Pixels(d.width) + "，超出 " + Pixels(d.width - limit);
            else if (out)
                detail += "右边伸到 " + Pixels(d.right) + "，超出 " + Pixels(d.right - limit) +
                          (wide ? "（宽 " + Pixels(d.width) + "）" : "");
            else
                detail += "画出来宽 " + Pixels(d.width) + "，左边伸出描述区 " + Pixels(d.width - d.right);
            scan_.Add(r, node->startTag.empty() ? node->range : node->startTag, std::move(detail));
        }
    }

private:
    // The layout of the line in a container `width` pixels wide, made once per width.
    const html::PageLayout& At(float width) {
        auto it = layouts_.find(width);
        if (it == layouts_.end()) {
            html::LayoutOptions options{width, 0};
            options.recordEveryBox = true;
            it = layouts_.emplace(width, html::LayoutDocument(scan_.doc, options, measurer_, pictures_)).first;
        }
        return it->second;
    }

    // The layout knows no max-width: an element limited by one it draws as
    // wide as it would be without, where a browser draws it narrower. So an
    // element counts only when it is drawn too wide also with every element
    // that declares a max-width taken out of the line (blanked, so that the
    // offsets stay): where those elements start, and their tags; nothing
    // when the line declares no max-width. A page whose widths all hang on
    // max-width is left to the picture rules.
    std::optional<std::set<std::pair<std::size_t, std::string>>> WideWithoutMaxWidth(float limit) {
        std::string blanked(scan_.source);
        bool any = false;
        Blank(*scan_.doc.root, blanked, any);
        if (!any) return std::nullopt;
        const html::Document alone = html::ParseHtml(blanked);
        html::LayoutOptions options{limit, 0};
        options.recordEveryBox = true;
        std::set<std::pair<std::size_t, std::string>> wide;
        for (const html::BoxRecord& b : html::LayoutDocument(alone, options, measurer_, pictures_).boxes)
            if (b.node && (b.visible.Right() > limit + kSlackPx || b.visible.w > limit + kSlackPx))
                wide.emplace(b.node->range.begin, b.node->tag);
        return wide;
    }
    static void Blank(const html::Node& n, std::string& source, bool& any) {
        if (n.IsElement() && DeclaresMaxWidth(n)) {
            std::fill(source.begin() + static_cast<std::ptrdiff_t>(n.range.begin),
                      source.begin() + static_cast<std::ptrdiff_t>(n.range.end), ' ');
            any = true;
            return;
        }
        for (const auto& c : n.children) Blank(*c, source, any);
    }

    // Whether an ancestor of `node` is drawn too wide as well: the finding
    // goes to the outermost element only.
    static bool Inside(const html::Node* node, const std::map<const html::Node*, Drawn>& over) {
        for (const html::Node* p = node->parent; p; p = p->parent)
            if (over.count(p)) return true;
        return false;
    }

    LineScan& scan_;
    html::TextMeasurer& measurer_;
    html::PictureSource& pictures_;
    std::map<float, html::PageLayout> layouts_;
};

}  // namespace

void CheckLayout(const RuleSet& rules, LineScan& scan, html::TextMeasurer& measurer, html::PictureSource& pictures) {
    Measure measure(scan, measurer, pictures);
    // Pictures first: what they report, the drawn widths leave to them.
    for (const Rule& r : rules.Rules())
        if (r.kind == RuleKind::PictureWidth) measure.NaturalPictureWidth(r);
    for (const Rule& r : rules.Rules())
        if (r.kind == RuleKind::DrawnWidth) measure.DrawnWidth(r);
}

}  // namespace mojian::check
