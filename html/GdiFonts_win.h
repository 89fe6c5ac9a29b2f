// GDI's side of measuring: the fonts the layout names, resolved to installed
// faces, and text measured as GDI draws it. The painter draws with the same fonts.
#pragma once

#include <windows.h>

#include <memory>
#include <unordered_map>
#include <vector>

#include "html/TextMeasurer.h"

namespace mojian::html {

// Owners for the GDI handles the view creates, and for selections into a DC.
class MemoryDc {
public:
    explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

template <typename Handle>
class GdiObject {
public:
    explicit GdiObject(Handle h) : h_(h) {}
    ~GdiObject() {
        if (h_) DeleteObject(h_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    Handle get() const { return h_; }

private:
    Handle h_;
};

class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
    ~Selection() {
        if (old_) SelectObject(dc_, old_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

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
        std::unique_ptr<GdiObject<HFONT>> font;
        // Advances measured so far, by character: every layout asks for the
        // same characters again, and each measure is a font selection and a
        // call into the system's font engine.
        std::unordered_map<std::u16string, int> advances;
    };
    Entry& EntryFor(const FontKey& font);
    static HFONT Usable(const Entry& entry);  // the entry's font, or the GUI font if it could not be made
    std::vector<Entry> fonts_;
    MemoryDc dc_;
};

}  // namespace mojian::html
