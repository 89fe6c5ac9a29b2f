#include "mobile/ReusingPainter.h"

#include <gtest/gtest.h>

#include "mobile/PaintedSheet.h"

namespace mojian::mobile {
namespace {

// Each row a colour of its own (the row's number in blue and green), red
// pixels every 3 columns; counts the rows it paints.
class RowPainter : public PagePainter {
public:
    RowPainter(int width, int height) : w_(width), h_(height) {}
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    bool Paint(int top, Raster& band) override {
        if (top < 0 || top + band.height > h_ || band.width != w_) return false;
        band.pixels.resize(static_cast<std::size_t>(band.width) * static_cast<std::size_t>(band.height));
        for (int y = 0; y < band.height; ++y)
            for (int x = 0; x < band.width; ++x)
                band.pixels[static_cast<std::size_t>(y * band.width + x)] =
                    0xFF000000u | static_cast<std::uint32_t>((top + y) & 0xFFFF) | (x % 3 ? 0 : 0x00FF0000u);
        rows += band.height;
        return true;
    }
    int rows = 0;

private:
    int w_, h_;
};

Raster PaintThrough(PagePainter& p, int top, int height) {
    Raster band{p.Width(), height, {}};
    EXPECT_TRUE(p.Paint(top, band));
    return band;
}

TEST(ReusingPainter, ItsSheetIsThePaintedOnesAtFullSizeAndNoneWithoutAWholeFirstPass) {
    const std::vector<int> cuts{300, 650};
    RowPainter real(120, 900), again(120, 900), reference(120, 900);
    ReusingPainter painter(real);
    EXPECT_EQ(painter.Shrink(), 1);  // a small page: the copy is the page itself
    EXPECT_FALSE(painter.Sheet(cuts));
    for (int top = 0; top < 900; top += 256)
        EXPECT_EQ(PaintThrough(painter, top, std::min(256, 900 - top)).pixels,
                  PaintThrough(reference, top, std::min(256, 900 - top)).pixels);
    Raster wrong{121, 10, {}};
    EXPECT_FALSE(painter.Paint(0, wrong));
    const auto sheet = painter.Sheet(cuts);
    const auto painted = PaintContactSheet(again, cuts);
    ASSERT_TRUE(sheet && painted);
    EXPECT_EQ(sheet->pixels, painted->pixels);
    EXPECT_EQ(again.rows, 900);  // the sheet painted again, a piece at a time

    // A tall page: a copy shrunk enough for the sheet, and the sheet's size bounded.
    RowPainter tall(750, 60000);
    ReusingPainter big(tall);
    EXPECT_EQ(big.Shrink(), 4);  // shown at 0.3 of its size: a quarter-size copy, enlarged a little
    for (int top = 0; top < 60000; top += 1000) PaintThrough(big, top, 1000);
    const auto bigSheet = big.Sheet({1500, 3000, 59999});
    ASSERT_TRUE(bigSheet);
    EXPECT_LE(std::max(bigSheet->width, bigSheet->height), 2000);

    // Shown at 0.21: a fifth-size copy, not a quarter-size one twice the sheet's area.
    RowPainter odd(300, 3000);
    ReusingPainter oddCopy(odd, 200);
    EXPECT_EQ(oddCopy.Shrink(), 5);
    for (int top = 0; top < 3000; top += 500) PaintThrough(oddCopy, top, 500);
    const auto oddSheet = oddCopy.Sheet({1000, 2000});
    ASSERT_TRUE(oddSheet);
    EXPECT_LE(std::max(oddSheet->width, oddSheet->height), 200);
}

}  // namespace
}  // namespace mojian::mobile
