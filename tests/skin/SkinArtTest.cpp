#include <gtest/gtest.h>

#include <vector>

#include "skin/SkinArt.h"
#include "tests/skin/Png.h"

namespace mojian::skin {
namespace {

using Row = std::vector<std::uint32_t>;

Row RowOf(const SkinImage& img, int y, int x0, int n) {
    Row r;
    for (int x = x0; x < x0 + n; ++x) r.push_back(img.At(x, y));
    return r;
}

int Red(std::uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
int Green(std::uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
int Blue(std::uint32_t p) { return static_cast<int>(p & 0xFF); }
int Luma(std::uint32_t p) { return Red(p) * 3 + Green(p) * 6 + Blue(p); }

bool IsGreen(std::uint32_t p) { return Green(p) > Red(p) + 30 && Green(p) > Blue(p) + 30; }
bool IsBlueish(std::uint32_t p) { return Blue(p) >= Red(p) && Blue(p) >= Green(p) - 8 && p != KeyPixel; }

TEST(SkinArt, SizesAddUpToTheWholeTable) {
    const int sizes[][2] = {{7, 84}, {15, 18}, {18, 24}, {13, 52}, {9, 20}};
    std::size_t total = 0;
    for (int i = 0; i < SkinBitmapCount; ++i) {
        const SkinImage& img = SkinArt(static_cast<SkinBitmap>(i));
        EXPECT_EQ(img.width, sizes[i][0]);
        EXPECT_EQ(img.height, sizes[i][1]);
        ASSERT_EQ(img.pixels.size(), static_cast<std::size_t>(img.width * img.height));
        total += img.pixels.size();
    }
    EXPECT_EQ(total, 2146u);
}

TEST(SkinArt, ButtonTilesHaveTheirTellingRows) {
    const SkinImage& b = SkinArt(SkinBitmap::Button);
    EXPECT_EQ(RowOf(b, 0, 0, 7), (Row{0xBFE1F9, 0x6BB3E3, 0x2C97D8, 0x1B8FD5, 0x2C97D8, 0x6BB3E3, 0xBFE1F9}));
    EXPECT_EQ(RowOf(b, 3, 0, 7), (Row{0x1B8FD5, 0xF5FAFD, 0xF1F8FC, 0xF1F8FC, 0xF1F8FC, 0xF5FAFD, 0x1B8FD5}));
    // The normal gradient darkens towards #B1D0EA at the bottom.
    EXPECT_EQ(b.At(3, 19), 0xB1D0EAu);
    for (int y = 4; y < 19; ++y) EXPECT_LE(Luma(b.At(3, y)), Luma(b.At(3, y - 1))) << y;
    // Hot: the middle rows run from #4CC3FB at the sides to #E4F2FC in the centre.
    const int hotMid = 21 + 10;
    EXPECT_EQ(b.At(0, hotMid), 0x4CC3FBu);
    EXPECT_EQ(b.At(6, hotMid), 0x4CC3FBu);
    EXPECT_EQ(b.At(3, 21 + 3), 0xE4F2FCu);
    EXPECT_LT(Luma(b.At(1, hotMid)), Luma(b.At(2, hotMid)));
    EXPECT_LT(Luma(b.At(2, hotMid)), Luma(b.At(3, hotMid)));
    // Disabled: #87C3E8 frame, near white to #D2E3F3 inside.
    EXPECT_EQ(b.At(0, 63 + 10), 0x87C3E8u);
    EXPECT_EQ(b.At(3, 63 + 3), 0xFCFDFEu);
    EXPECT_EQ(b.At(3, 63 + 19), 0xD2E3F3u);
    // Every tile is symmetric left to right and blue, with no key colour.
    for (int y = 0; y < 84; ++y) {
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(b.At(x, y), b.At(6 - x, y)) << x << "," << y;
            EXPECT_TRUE(IsBlueish(b.At(x, y))) << std::hex << b.At(x, y) << " at " << std::dec << x << "," << y;
        }
    }
}

TEST(SkinArt, DropButtonsAndArrowsSitInTheKeyColour) {
    const SkinImage& d = SkinArt(SkinBitmap::DropButton);
    EXPECT_EQ(RowOf(d, 0, 0, 15), (Row{0x4EA0D1, 0xE8F9FF, 0xE8F9FF, 0xE8F9FF, 0x4EA0D1, 0xBEE1F3, 0xBEE1F3, 0xBEE1F3,
                                       0x19555F, 0x19555F, 0x19555F, 0x19555F, 0x19555F, 0x19555F, 0x19555F}));
    const int widths[] = {7, 5, 3, 1};
    for (int row = 0; row < 4; ++row) {
        for (int x = 0; x < 7; ++x) {
            const bool inArrow = x >= row && x < 7 - row;
            EXPECT_EQ(d.At(8 + x, row), inArrow ? 0x19555Fu : KeyPixel) << x << "," << row;
            EXPECT_EQ(d.At(8 + x, 4 + row), inArrow ? 0x84A5ACu : KeyPixel) << x << "," << row;
        }
        EXPECT_EQ(7 - 2 * row, widths[row]);
    }
    for (int y = 8; y < 18; ++y)
        for (int x = 8; x < 15; ++x) EXPECT_EQ(d.At(x, y), KeyPixel);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_NE(d.At(x, y), KeyPixel);
}

TEST(SkinArt, MarksAreGreenOnTheKeyColour) {
    const SkinImage& m = SkinArt(SkinBitmap::Mark);
    struct Area {
        int x, y, w, h;
    };
    const Area marks[] = {{0, 0, 9, 8}, {9, 0, 9, 8}, {1, 9, 7, 7}, {10, 9, 7, 7}, {2, 18, 5, 5}, {11, 18, 5, 5}};
    auto inMark = [&](int x, int y) {
        for (const Area& a : marks)
            if (x >= a.x && x < a.x + a.w && y >= a.y && y < a.y + a.h) return true;
        return false;
    };
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 18; ++x) {
            const std::uint32_t p = m.At(x, y);
            if (!inMark(x, y)) {
                EXPECT_EQ(p, KeyPixel) << x << "," << y;
            } else if (p != KeyPixel) {
                EXPECT_TRUE(IsGreen(p) || Green(p) > Red(p)) << std::hex << p;
            }
        }
    }
    // Squares are full; the tick's tip and base carry the end colours.
    EXPECT_EQ(m.At(1, 9), 0x51B41Bu);
    EXPECT_EQ(m.At(7, 15), 0x399606u);
    EXPECT_EQ(m.At(10, 9), 0xA6D98Bu);
    EXPECT_EQ(m.At(16, 15), 0x9AC980u);
    EXPECT_EQ(m.At(8, 0), 0x54B71Du);
    EXPECT_EQ(m.At(3, 7), 0x359102u);
    EXPECT_EQ(m.At(17, 0), 0xA8DA8Cu);
    EXPECT_EQ(m.At(12, 7), 0x98C77Eu);
    // Dots are round: green centres, transparent corners.
    EXPECT_EQ(m.At(4, 20), 0x4FB119u);
    EXPECT_EQ(m.At(13, 20), 0xA7D88Cu);
    for (int ox : {2, 11}) {
        EXPECT_EQ(m.At(ox, 18), KeyPixel);
        EXPECT_EQ(m.At(ox + 4, 22), KeyPixel);
        EXPECT_NE(m.At(ox + 2, 18), KeyPixel);
        EXPECT_NE(m.At(ox, 20), KeyPixel);
    }
    // The enabled tick is darker than the disabled one.
    EXPECT_LT(Luma(m.At(8, 0)), Luma(m.At(17, 0)));
}

TEST(SkinArt, OptionCirclesAndCheckStrips) {
    const SkinImage& o = SkinArt(SkinBitmap::Option);
    EXPECT_EQ(RowOf(o, 6, 0, 13), (Row{0x83A6D2, 0xF3F7FA, 0xFDFEFE, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                       0xFFFFFF, 0xFFFFFF, 0xFDFEFE, 0xF3F7FA, 0x83A6D2}));
    for (int t = 0; t < 4; ++t) {
        // Outside the circle the key colour; its ends on the middle row are the ring.
        EXPECT_EQ(o.At(0, 13 * t), KeyPixel);
        EXPECT_EQ(o.At(12, 13 * t + 12), KeyPixel);
        EXPECT_NE(o.At(6, 13 * t), KeyPixel);
        EXPECT_NE(o.At(0, 13 * t + 6), KeyPixel);
    }
    EXPECT_EQ(o.At(6, 13 + 1), 0xC3EAF8u);
    EXPECT_EQ(o.At(6, 13 + 11), 0xE1F5FDu);
    EXPECT_EQ(o.At(6, 26 + 1), 0xADE1F5u);
    EXPECT_EQ(o.At(6, 26 + 11), 0xD5F1FDu);
    EXPECT_EQ(o.At(0, 26 + 6), 0x6489C1u);
    EXPECT_EQ(o.At(0, 39 + 6), 0xC1D2E8u);
    // The strips the check-box square borrows hold no key colour.
    for (int y : {17, 30})
        for (int dy = 0; dy < 5; ++dy)
            for (int x = 1; x < 12; ++x) EXPECT_NE(o.At(x, y + dy), KeyPixel);
}

TEST(SkinArt, HeaderTiles) {
    const SkinImage& h = SkinArt(SkinBitmap::Header);
    EXPECT_EQ(RowOf(h, 0, 0, 9),
              (Row{0xEAF5FE, 0xEAF5FE, 0xEAF5FE, 0xBDE6FD, 0xD3EEFE, 0xBDE6FD, 0x97D7FB, 0x97D7FB, 0x97D7FB}));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_TRUE(IsBlueish(h.At(x, y)));
}

// All five, enlarged eight times, side by side on grey, for the eye.
TEST(SkinArt, WritesAContactSheet) {
    constexpr int kScale = 8, kGap = 16;
    int width = kGap, height = 0;
    for (int i = 0; i < SkinBitmapCount; ++i) {
        const SkinImage& img = SkinArt(static_cast<SkinBitmap>(i));
        width += img.width * kScale + kGap;
        height = std::max(height, img.height * kScale + 2 * kGap);
    }
    testing::Png png(width, height, 0x808080);
    int ox = kGap;
    for (int i = 0; i < SkinBitmapCount; ++i) {
        const SkinImage& img = SkinArt(static_cast<SkinBitmap>(i));
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) png.Block(ox + x * kScale, kGap + y * kScale, kScale, img.At(x, y));
        ox += img.width * kScale + kGap;
    }
    EXPECT_TRUE(png.Write(MOJIAN_SKIN_SHEET));
}

}  // namespace
}  // namespace mojian::skin
