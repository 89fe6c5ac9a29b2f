// GDI's side of measuring: the font lists the layout names resolved to
// installed faces as Chromium resolves them (FontChoice.h), each character
// measured in the face that draws it, with the face's own advances and
// kerning at any size (from the face at its design size, so no hinting
// rounds them), and the fonts the painter draws each run of text with.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Scoped_win.h"
#include "html/TextMeasurer.h"

namespace mojian::html {

class GdiFonts : public TextMeasurer {
public:
    GdiFonts();
    ~GdiFonts() override = default;
    GdiFonts(const GdiFonts&) = delete;
    GdiFonts& operator=(const GdiFonts&) = delete;

    FontMetrics Metrics(const FontKey& font) override;
    float Advance(const FontKey& font, char32_t c) override;
    float Kerning(const FontKey& font, char32_t a, char32_t b) override;

    // A piece of text drawn by one face: the units [begin, end) and the
    // font to draw them with at the key's size and style.
    struct Run {
        std::size_t begin = 0, end = 0;
        HFONT font = nullptr;
    };
    std::vector<Run> Runs(const FontKey& font, std::u16string_view text);
    // The font of the key's first face, for text drawn without runs.
    HFONT Get(const FontKey& font);

    // The name of the face that draws `c` in `font` (for tests and tools).
    std::u16string FaceName(const FontKey& font, char32_t c);

private:
    // One installed family in one weight and slant.
    struct Face {
        std::u16string family;
        bool bold = false, italic = false;
        bool syntheticBold = false;  // no bold face: drawn emboldened, measured as the regular one
        Font design;                 // at its design size, for measuring
        float em = 2048;             // design units per em
        int ascent = 0, descent = 0, lineGap = 0;  // design units
        std::unordered_map<char32_t, float> advances;    // design units
        std::unordered_map<char32_t, bool> glyphs;       // whether it has the character
        std::unordered_map<std::uint32_t, int> kerning;  // first << 16 | second -> design units
        std::vector<std::pair<int, Font>> sized;         // for painting, by pixel height
    };
    struct Chain {
        FontKey key;
        std::vector<Face*> faces;  // in the order they are tried
    };
    Chain& ChainFor(const FontKey& font);
    Face& FaceFor(const std::u16string& family, bool bold, bool italic);
    Face& FaceOf(Chain& chain, char32_t c);
    bool Has(Face& face, char32_t c);
    float DesignAdvance(Face& face, char32_t c);
    HFONT Sized(Face& face, const FontKey& key);
    bool Installed(std::u16string_view family);
    bool HasBold(const std::u16string& family);

    OwnedDc dc_;
    std::deque<Face> faces_;  // a deque: chains point into it
    std::vector<Chain> chains_;
    std::unordered_map<std::u16string, std::size_t> chainIndex_;  // key text -> chain
    std::unordered_map<std::u16string, bool> installed_;
    std::unordered_map<std::u16string, bool> bold_;
};

}  // namespace mojian::html
