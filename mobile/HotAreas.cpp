#include "mobile/HotAreas.h"

#include <algorithm>
#include <cmath>

#include "check/Addresses.h"
#include "check/Rules.h"

namespace mojian::mobile {

namespace {

struct Box {
    double x0, y0, x1, y1;
};

bool Touch(const Box& a, const Box& b) {
    constexpr double kSlack = 1;  // a pixel apart still reads as one link
    return a.x0 <= b.x1 + kSlack && b.x0 <= a.x1 + kSlack && a.y0 <= b.y1 + kSlack && b.y0 <= a.y1 + kSlack;
}

// Merges until no two touch: a merged box can reach one it did not.
void Merge(std::vector<Box>& boxes) {
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < boxes.size(); ++i)
            for (std::size_t j = i + 1; j < boxes.size();) {
                if (!Touch(boxes[i], boxes[j])) {
                    ++j;
                    continue;
                }
                boxes[i] = {std::min(boxes[i].x0, boxes[j].x0), std::min(boxes[i].y0, boxes[j].y0),
                            std::max(boxes[i].x1, boxes[j].x1), std::max(boxes[i].y1, boxes[j].y1)};
                boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
                j = i + 1;
            }
    }
}

double Round4(double v) { return std::round(std::clamp(v, 0.0, 1.0) * 10000) / 10000; }

}  // namespace

std::string RefuseAddress(std::string& address) {
    address = check::BrowserAddress(address);
    if (address.empty()) return "链接地址是空的";
    const std::string scheme = check::AddressScheme(address);
    // The publish check's own list of script schemes decides, as it does for the page.
    for (const check::Rule& r : check::RuleSet::BuiltIn().Rules())
        if (r.kind == check::RuleKind::ScriptAddress && std::find(r.names.begin(), r.names.end(), scheme) != r.names.end())
            return scheme + ": 地址会运行脚本，发布检查不允许";
    if (scheme.empty()) {
        if (address.rfind("//", 0) == 0) {
            address = "https:" + address;
            return {};
        }
        if (address[0] == '#') return "页内跳转，图片上的热区跳不到页面里的位置";
        return "相对地址，手机上打不开；请写成完整的 https 网址";
    }
    if (scheme != "http" && scheme != "https") return scheme + ": 不是网址，热区只能链接网址";
    return {};
}

HotAreaPlan MapHotAreas(const std::vector<PageLink>& links, const std::vector<int>& cuts, int width, int height) {
    HotAreaPlan plan;
    std::vector<int> edges{0};
    edges.insert(edges.end(), cuts.begin(), cuts.end());
    edges.push_back(height);
    plan.pieces.resize(edges.size() - 1);
    if (width <= 0) return plan;

    // The pieces' boxes per address, in the order the addresses first come.
    std::vector<std::string> order;
    std::vector<std::vector<std::vector<Box>>> boxes;  // [address][piece]
    for (const PageLink& link : links) {
        std::string address = link.href;
        const std::string why = RefuseAddress(address);
        if (!why.empty()) {
            const bool listed = std::any_of(plan.leftOut.begin(), plan.leftOut.end(),
                                            [&](const LeftOutLink& l) { return l.href == link.href; });
            if (!listed) plan.leftOut.push_back({link.href, why});
            continue;
        }
        const std::size_t a = static_cast<std::size_t>(std::find(order.begin(), order.end(), address) - order.begin());
        if (a == order.size()) {
            order.push_back(address);
            boxes.emplace_back(plan.pieces.size());
        }
        for (const html::Rect& r : link.rects) {
            const double x0 = std::max(0.0, static_cast<double>(r.x)), x1 = std::min<double>(width, r.Right());
            if (x1 <= x0) continue;
            for (std::size_t p = 0; p + 1 < edges.size(); ++p) {
                const double y0 = std::max<double>(r.y, edges[p]), y1 = std::min<double>(r.Bottom(), edges[p + 1]);
                if (y1 > y0) boxes[a][p].push_back({x0, y0 - edges[p], x1, y1 - edges[p]});
            }
        }
    }
    for (std::size_t p = 0; p < plan.pieces.size(); ++p) {
        const double h = edges[p + 1] - edges[p];
        for (std::size_t a = 0; a < order.size(); ++a) {
            Merge(boxes[a][p]);
            for (const Box& b : boxes[a][p]) {
                HotArea area{Round4(b.x0 / width), Round4(b.y0 / h), 0, 0, order[a]};
                area.w = Round4(b.x1 / width - area.x);
                area.h = Round4(b.y1 / h - area.y);
                if (area.w > 0 && area.h > 0) plan.pieces[p].push_back(std::move(area));
            }
        }
    }
    return plan;
}

}  // namespace mojian::mobile
