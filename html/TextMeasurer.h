// Where the HTML engine gets text sizes: layout asks a TextMeasurer for a
// font's vertical metrics and for the advance of each character, so the same
// layout runs with GDI's measurements (the view) and with fixed ones (tests).
#pragma once

#include <string>
#include <string_view>

namespace mojian::html {

// A font as the layout names it; the measurer and the painter resolve the
// family to an installed face in the same way.
struct FontKey {
    std::u16string family;
    int size = 16;  // pixels, cell height of the em
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
    virtual FontMetrics Metrics(const FontKey& font) = 0;
    // The advance of one UTF-16 unit or surrogate pair, in pixels.
    virtual int Advance(const FontKey& font, std::u16string_view character) = 0;
};

// A measurer with fixed advances: Latin half the font size, CJK the full
// size; the ascent is four fifths of the size and a normal line 1.25 times it.
class FixedMeasurer : public TextMeasurer {
public:
    FontMetrics Metrics(const FontKey& font) override;
    int Advance(const FontKey& font, std::u16string_view character) override;
};

}  // namespace mojian::html
