#include "mobile/Rows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace mojian::mobile {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kGrey = 0xFFF0F0F0;

TEST(RowSpread, PlainRowsAreZeroAndBusierRowsScoreHigher) {
    constexpr int w = 100;
    // Each row: how many of its pixels differ, and to what.
    struct Row {
        int odd;
        std::uint32_t base, colour;
    };
    const std::vector<Row> rows = {
        {0, kWhite, kWhite},  // plain white
        {0, kBlack, kBlack},  // plain black: one colour too
        {1, kWhite, kBlack},  // a stray dot
        {1, kWhite, kGrey},   // a faint stray dot
        {10, kWhite, kBlack}, // a little text
        {45, kWhite, kBlack}, // half and half, nearly
    };
    Raster band{w, static_cast<int>(rows.size()), {}};
    for (const Row& r : rows)
        for (int x = 0; x < w; ++x) band.pixels.push_back(x < r.odd ? r.colour : r.base);
    const std::vector<float> spread = RowSpread(band);
    ASSERT_EQ(spread.size(), rows.size());
    EXPECT_EQ(spread[0], 0);
    EXPECT_EQ(spread[1], 0);
    EXPECT_GT(spread[2], spread[3]);  // how far the odd pixels stray counts
    EXPECT_GT(spread[3], 0);
    EXPECT_GT(spread[4], spread[2]);  // and how many
    EXPECT_GT(spread[5], spread[4]);
    EXPECT_NEAR(spread[2], 255.0 / w, 0.01);
}

TEST(RowSpread, ABandThatIsNotWhatItSaysGivesNothing) {
    EXPECT_TRUE(RowSpread(Raster{}).empty());
    EXPECT_TRUE(RowSpread(Raster{4, 2, std::vector<std::uint32_t>(7, kWhite)}).empty());
}

}  // namespace
}  // namespace mojian::mobile
