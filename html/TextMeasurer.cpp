#include "html/TextMeasurer.h"

#include "html/Characters.h"

namespace mojian::html {

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
    return IsCjk(c) ? font.size : font.size / 2;
}

}  // namespace mojian::html
