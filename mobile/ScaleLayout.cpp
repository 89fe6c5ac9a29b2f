#include "mobile/ScaleLayout.h"

#include <cmath>
#include <utility>

namespace mojian::mobile {

namespace {

html::Rect Scaled(const html::Rect& r, float s) { return {r.x * s, r.y * s, r.w * s, r.h * s}; }

// Percentages place a background against the box, which scales with it.
html::Length Scaled(html::Length l, float s) {
    if (l.unit == html::Length::Px) l.value *= s;
    return l;
}

}  // namespace

html::PageLayout ScaleLayout(html::PageLayout page, float scale) {
    html::PageLayout out = std::move(page);
    if (!(scale > 0) || !std::isfinite(scale) || scale == 1.0f) return out;
    for (html::FontKey& font : out.fonts) font.size *= scale;
    for (html::PaintOp& op : out.ops) {
        op.rect = Scaled(op.rect, scale);
        op.clip = Scaled(op.clip, scale);
        op.baseline *= scale;
        op.letterSpacing *= scale;
        op.wordSpacing *= scale;
        op.positionX = Scaled(op.positionX, scale);
        op.positionY = Scaled(op.positionY, scale);
        op.tileWidth = Scaled(op.tileWidth, scale);
        op.tileHeight = Scaled(op.tileHeight, scale);
        op.tileScale *= scale;
        op.radiusX *= scale;
        op.radiusY *= scale;
    }
    for (html::BoxRecord& box : out.boxes) {
        box.rect = Scaled(box.rect, scale);
        box.visible = Scaled(box.visible, scale);
    }
    out.width *= scale;
    out.height *= scale;
    return out;
}

}  // namespace mojian::mobile
