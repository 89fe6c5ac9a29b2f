// Painting is most of the time a mobile description takes: the pack paints
// the page once, top to bottom, and the contact sheet would paint it a
// second time. This painter in front of the real one keeps a small copy of
// the whole page, shrunk as it is painted the first time, which the contact
// sheet is made from. Its memory is bounded by the sheet's size, whatever
// the page's height.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "mobile/Seams.h"

namespace mojian::mobile {

class ReusingPainter final : public PagePainter {
public:
    // `sheetSide`: the contact sheet's largest side, which sets how small
    // the copy may be.
    explicit ReusingPainter(PagePainter& inner, int sheetSide = 2000);

    int Width() const override { return inner_.Width(); }
    int Height() const override { return inner_.Height(); }
    bool Paint(int top, Raster& band) override;
    void ReleaseKept() override { inner_.ReleaseKept(); }

    // The contact sheet of the pieces between `cuts`, from the small copy;
    // nothing unless the page was painted whole from the top first (then
    // PaintContactSheet paints it again). Once the page was painted whole,
    // painting changes the copy no more, so this may run beside Paint.
    std::optional<Raster> Sheet(const std::vector<int>& cuts) const;

    int Shrink() const { return shrink_; }  // the copy is 1/Shrink() of the page each way

private:
    // Rows in chunks of a few hundred: a 32-bit program seldom finds tens
    // of megabytes in one piece, and a chunk it cannot get only ends keeping.
    struct Rows {
        int width = 0;
        int count = 0;
        std::vector<std::vector<std::uint32_t>> chunks;
        bool Append(const std::uint32_t* rows, int n);
        const std::uint32_t* Row(int y) const;
    };
    void AddToCopy(const Raster& band);

    PagePainter& inner_;
    int width_, height_;
    int sheetSide_;
    int shrink_ = 1;
    int smallWidth_ = 0;
    Rows small_;  // the copy's finished rows
    bool copyFailed_ = false;
    std::vector<std::uint32_t> sums_;   // the copy's row being gathered: B, G, R, A per column
    std::vector<std::uint32_t> row_;    // the copy's row made from them
    int gathered_ = 0;                   // page rows in sums_
    int next_ = 0;                       // the page row the copy needs next
};

}  // namespace mojian::mobile
