#include "mobile/Rows.h"

#include <gtest/gtest.h>

namespace mojian::mobile {
namespace {

TEST(RowSpread, PlainRowsAreZeroBusierRowsHigherAndAFalseBandNothing) {
    constexpr std::uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kGrey = 0xFFF0F0F0;
    // Each row of 100 pixels: how many differ from the rest, and their colour.
    const struct {
        int odd;
        std::uint32_t base, colour;
    } rows[] = {{0, kWhite, kWhite}, {0, kBlack, kBlack}, {1, kWhite, kBlack},
                {1, kWhite, kGrey},  {10, kWhite, kBlack}, {45, kWhite, kBlack}};
    Raster band{100, 6, {}};
    for (const auto& r : rows)
        for (int x = 0; x < 100; ++x) band.pixels.push_back(x < r.odd ? r.colour : r.base);
    const std::vector<float> spread = RowSpread(band);
    ASSERT_EQ(spread.size(), 6u);
    EXPECT_EQ(spread[0], 0);  // one colour, whichever
    EXPECT_EQ(spread[1], 0);
    EXPECT_NEAR(spread[2], 255.0 / 100, 0.01);
    EXPECT_GT(spread[2], spread[3]);  // how far the odd pixels stray counts
    EXPECT_GT(spread[3], 0);
    EXPECT_GT(spread[4], spread[2]);  // and how many
    EXPECT_GT(spread[5], spread[4]);
    EXPECT_TRUE(RowSpread(Raster{4, 2, std::vector<std::uint32_t>(7, kWhite)}).empty());
}

}  // namespace
}  // namespace mojian::mobile
