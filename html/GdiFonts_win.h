// GDI's side of measuring: the fonts the layout names, resolved to installed
// faces, and text measured as GDI draws it. The painter draws with the same fonts.
#pragma once

#include <windows.h>

#include <unordered_map>
#include <vector>

#include "base/Scoped_win.h"
#include "html/TextMeasurer.h"

namespace mojian::html {

// Owns the device context used for measuring and one HFONT per font asked for.
class GdiFonts : public TextMeasurer {
public:
    GdiFonts();
    ~GdiFonts() override = default;
    GdiFonts(const GdiFonts&) = delete;
    GdiFonts& operator=(const GdiFonts&) = delete;

    HFONT Get(const FontKey& font);
    FontMetrics Metrics(const FontKey& font) override;
    int Advance(const FontKey& font, std::u16string_view character) override;

private:
    struct Entry {
        FontKey key;
        Font font;
        // Advances measured so far, by character: every layout asks for the
        // same characters again, and each measure is a font selection and a
        // call into the system's font engine.
        std::unordered_map<std::u16string, int> advances;
    };
    Entry& EntryFor(const FontKey& font);
    static HFONT Usable(const Entry& entry);  // the entry's font, or the GUI font if it could not be made
    std::vector<Entry> fonts_;
    OwnedDc dc_;
};

}  // namespace mojian::html
