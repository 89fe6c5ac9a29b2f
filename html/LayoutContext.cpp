#include "html/LayoutContext.h"

#include <algorithm>
#include <cmath>

#include "html/Characters.h"

namespace mojian::html {

Style* LayoutContext::NewStyle(Style s) { return styles_.Make(std::move(s)); }

Box* LayoutContext::NewBox(Box::Kind kind, const Node* node, const Style* style) {
    Box* b = boxes_.Make();
    b->kind = kind;
    b->node = node;
    b->style = style;
    return b;
}

Style* LayoutContext::AnonymousStyle(const Style& parent, Display display) {
    Style s = parent;
    s.display = display;
    s.floating = Float::None;
    s.clear = Clear::None;
    s.background.reset();
    s.backgroundImage = BackgroundImage{};
    s.minWidth = s.minHeight = Length{Length::Px, 0};
    s.maxWidth = s.maxHeight = Length{};
    s.aspectRatio = 0;
    s.width = s.height = Length{};
    for (auto& m : s.margin) m = Length{Length::Px, 0};
    for (float& p : s.padding) p = 0;
    for (auto& b : s.border) b = BorderSide{};
    s.overflowHidden = false;
    return NewStyle(std::move(s));
}

PictureInfo LayoutContext::QueryPicture(std::string_view url, bool sizesLayout) {
    const std::string key(url);
    auto it = pictureIndex_.find(key);
    if (it == pictureIndex_.end()) {
        it = pictureIndex_.emplace(key, page_.pictures.size()).first;
        page_.pictures.push_back({key, pictures_.Query(url), false});
    }
    PictureUse& use = page_.pictures[it->second];
    use.sizesLayout = use.sizesLayout || sizesLayout;
    return use.info;
}

int LayoutContext::FontOf(const Style& s) {
    auto it = fontOfStyle_.find(&s);
    if (it != fontOfStyle_.end()) return it->second;
    FontKey want{s.fontFamily, std::clamp(s.fontSize, 0.0f, 400.0f), s.bold, s.italic};
    int id = -1;
    for (std::size_t i = 0; i < page_.fonts.size(); ++i)
        if (page_.fonts[i] == want) id = static_cast<int>(i);
    if (id < 0) {
        page_.fonts.push_back(want);
        metrics_.push_back(measurer_.Metrics(want));
        id = static_cast<int>(page_.fonts.size() - 1);
    }
    fontOfStyle_[&s] = id;
    return id;
}

const FontMetrics& LayoutContext::MetricsOf(const Style& s) { return metrics_[static_cast<std::size_t>(FontOf(s))]; }

float LayoutContext::TextWidth(const Style& s, std::u16string_view text) {
    const int font = FontOf(s);
    const FontKey& key = page_.fonts[static_cast<std::size_t>(font)];
    auto advance = [&](char32_t c) {
        const std::uint64_t k = (static_cast<std::uint64_t>(font) << 32) | c;
        auto it = advances_.find(k);
        if (it == advances_.end()) it = advances_.emplace(k, measurer_.Advance(key, c)).first;
        return it->second;
    };
    auto kern = [&](char32_t a, char32_t b) {
        const std::uint64_t k = (static_cast<std::uint64_t>(font) << 42) | (static_cast<std::uint64_t>(a & 0x1FFFFF) << 21) |
                                (b & 0x1FFFFF);
        auto it = kerning_.find(k);
        if (it == kerning_.end()) it = kerning_.emplace(k, measurer_.Kerning(key, a, b)).first;
        return it->second;
    };
    return PlaceText(text, std::clamp(s.letterSpacing, -50.0f, 200.0f), std::clamp(s.wordSpacing, -50.0f, 200.0f),
                     advance, kern);
}

}  // namespace mojian::html
