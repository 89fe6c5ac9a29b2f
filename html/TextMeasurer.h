// Where the HTML engine gets text sizes: layout asks a TextMeasurer for a
// font's vertical metrics, each character's advance and the kerning between
// two, so the same layout runs with GDI's measurements (the view) and with
// fixed ones (tests).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "html/Characters.h"

namespace mojian::html {

// A font as the layout names it: the font-family list (families separated
// by commas, see FontChoice.h; empty for the browser's default), the size in
// pixels (the em, fractions kept), weight and slant.
struct FontKey {
    std::u16string family;
    float size = 16;
    bool bold = false;
    bool italic = false;
    friend bool operator==(const FontKey&, const FontKey&) = default;
};

struct FontMetrics {
    int ascent = 13;
    int descent = 3;
    int lineHeight = 16;  // what "line-height: normal" gives
};

class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    // The metrics of the font's first face, rounded as browsers round them.
    virtual FontMetrics Metrics(const FontKey& font) = 0;
    // The advance of one character in pixels, in the face that draws it
    // (the first of the font's faces that has it).
    virtual float Advance(const FontKey& font, char32_t c) = 0;
    // The adjustment between two characters one after the other, when one
    // face draws both; 0 when its kerning has no such pair.
    virtual float Kerning(const FontKey&, char32_t, char32_t) { return 0; }
};

// A measurer with fixed advances: Latin half the font size, CJK the full
// size; the ascent is four fifths of the size and a normal line 1.25 times it.
class FixedMeasurer : public TextMeasurer {
public:
    FontMetrics Metrics(const FontKey& font) override;
    float Advance(const FontKey& font, char32_t c) override;
};

// Places the characters of `text` one after the other: advances, kerning,
// letter spacing after every character and word spacing after every space
// (a no-break space counts as a space). Returns the total advance; `starts`,
// when given, gets where each UTF-16 unit's character starts.
template <class AdvanceOf, class KerningOf>
float PlaceText(std::u16string_view text, float letterSpacing, float wordSpacing, AdvanceOf advance, KerningOf kern,
                std::vector<float>* starts = nullptr) {
    float x = 0;
    char32_t previous = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len;
        char32_t c = CodePointAt(text, i, len);
        if (c == 0xA0) c = ' ';
        if (previous) x += kern(previous, c);
        if (starts) starts->insert(starts->end(), len, x);
        i += len;
        if (c == 0x200B) continue;  // the zero-width space only marks a break
        x += advance(c) + letterSpacing + (c == ' ' ? wordSpacing : 0.0f);
        previous = c;
    }
    return x;
}

}  // namespace mojian::html
