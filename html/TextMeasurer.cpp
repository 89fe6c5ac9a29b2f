#include "html/TextMeasurer.h"

#include <cmath>

namespace mojian::html {

FontMetrics FixedMeasurer::Metrics(const FontKey& font) {
    const int size = static_cast<int>(std::lround(font.size));
    FontMetrics m;
    m.ascent = size - size / 5;
    m.descent = size / 5;
    m.lineHeight = size + size / 4;
    return m;
}

float FixedMeasurer::Advance(const FontKey& font, char32_t c) { return IsCjk(c) ? font.size : font.size / 2; }

}  // namespace mojian::html
