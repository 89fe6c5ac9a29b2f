// What the parts of one layout share: the arenas that own its styles and
// boxes, the fonts it has named with their metrics and character advances,
// and the page it writes. Internal to the engine; one per LayoutDocument call.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "html/Arena.h"
#include "html/Box.h"
#include "html/PaintList.h"
#include "html/PictureSource.h"
#include "html/Style.h"
#include "html/TextMeasurer.h"

namespace mojian::html {

class LayoutContext {
public:
    LayoutContext(TextMeasurer& measurer, PictureSource& pictures, PageLayout& page, Compat compat)
        : measurer_(measurer), pictures_(pictures), page_(page), compat_(compat) {}
    LayoutContext(const LayoutContext&) = delete;
    LayoutContext& operator=(const LayoutContext&) = delete;

    // Styles and boxes live as long as the context.
    Style* NewStyle(Style s);
    Box* NewBox(Box::Kind kind, const Node* node, const Style* style);
    // The style of an anonymous box: the parent's inherited properties, no
    // size, margins, padding, borders or background of its own.
    Style* AnonymousStyle(const Style& parent, Display display);

    // The index in the page's font list of the font `s` names.
    int FontOf(const Style& s);
    const FontMetrics& MetricsOf(const Style& s);
    // The advance of `text` in the style's font, kerning and letter and
    // word spacing included.
    float TextWidth(const Style& s, std::u16string_view text);

    // The state and natural size of the picture at `url`, noted in the page
    // with whether it sizes a box there.
    PictureInfo QueryPicture(std::string_view url, bool sizesLayout);

    PageLayout& Page() { return page_; }
    // The rendering mode the page is laid out in.
    Compat GetCompat() const { return compat_; }

private:
    TextMeasurer& measurer_;
    PictureSource& pictures_;
    PageLayout& page_;
    Compat compat_;
    Arena<Style> styles_;
    Arena<Box> boxes_;
    std::unordered_map<const Style*, int> fontOfStyle_;
    std::deque<FontMetrics> metrics_;  // a deque: references stay valid while fonts are added
    std::unordered_map<std::uint64_t, float> advances_;  // (font << 32 | code point) -> advance
    std::unordered_map<std::uint64_t, float> kerning_;   // (font << 42 | first << 21 | second) -> adjustment
    std::unordered_map<std::string, std::size_t> pictureIndex_;  // url -> its place in the page's list
};

}  // namespace mojian::html
