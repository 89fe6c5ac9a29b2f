#include "html/PictureLayout.h"

#include <algorithm>

#include "base/Utf.h"

namespace mojian::html {

std::pair<float, float> PictureSize(LayoutContext& ctx, const Box& b, float cbWidth) {
    const Style& s = *b.style;
    const std::string* alt = b.node ? b.node->Attr("alt") : nullptr;
    float w = s.width.IsAuto() ? -1 : s.width.Resolve(cbWidth);
    float h = s.height.unit == Length::Px ? s.height.value : -1;
    const PictureInfo& p = b.picture;
    if (p.state == PictureInfo::State::Ready && p.width > 0 && p.height > 0) {
        // A loaded picture: its natural size where the page gives none, its
        // proportions where the page gives one side.
        const auto nw = static_cast<float>(p.width), nh = static_cast<float>(p.height);
        if (w < 0 && h < 0) {
            w = nw;
            h = nh;
        } else if (w < 0) {
            w = h * nw / nh;
        } else if (h < 0) {
            h = w * nh / nw;
        }
    } else if (w < 0 && h < 0) {
        // No size given: a browser shows the alt text at its natural width.
        const float text = alt ? ctx.TextWidth(s, AltText(b)) : 0;
        w = std::max(16.0f, text + 20.0f);
        h = std::max(16.0f, static_cast<float>(ctx.MetricsOf(s).lineHeight) + 4);
    } else if (w < 0) {
        w = h;
    } else if (h < 0) {
        h = w;
    }
    return {w + s.PaddingH(), h + s.PaddingV()};
}

std::u16string AltText(const Box& b) {
    const std::string* alt = b.node ? b.node->Attr("alt") : nullptr;
    return alt ? Utf8ToUtf16(*alt) : std::u16string();
}

}  // namespace mojian::html
