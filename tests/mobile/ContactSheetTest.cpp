#include "mobile/ContactSheet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace mojian::mobile {
namespace {

constexpr std::uint32_t kRed = 0xFFE0201C;

Raster Solid(int w, int h, std::uint32_t colour) {
    return Raster{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), colour)};
}

std::uint32_t At(const Raster& r, int x, int y) { return r.pixels[static_cast<std::size_t>(y) * r.width + x]; }

std::uint32_t ColourOf(std::size_t i) { return 0xFF000000u | static_cast<std::uint32_t>(0x102030 * (i + 1)); }

TEST(ContactSheet, PiecesKeepTheirOrderAndShapeWithinTheBound) {
    struct Case {
        int width;
        std::vector<int> heights;
        int maxSide;
        int columns;  // expected
    };
    const std::vector<Case> cases = {
        {750, std::vector<int>(14, 1546), 2000, 5},  // a long page at 750
        {1242, {1546, 1546, 1546, 700}, 2000, 2},
        {750, {200, 300}, 2000, 1},  // small enough to show as they are
        {750, {1546, 10, 1546}, 1000, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.heights.size());
        ContactSheet sheet(c.width, c.heights, c.maxSide);
        for (std::size_t i = 0; i < c.heights.size(); ++i)
            ASSERT_TRUE(sheet.Add(i, Solid(c.width, c.heights[i], ColourOf(i))));
        const Raster out = sheet.Finish();
        EXPECT_LE(out.width, c.maxSide);
        EXPECT_LE(out.height, c.maxSide);
        EXPECT_EQ(sheet.Columns(), c.columns);
        if (c.columns == 1 && c.heights[0] < c.maxSide) {
            EXPECT_EQ(sheet.Scale(), 1.0);
        }
        for (std::size_t i = 0; i < c.heights.size(); ++i) {
            const ContactSheet::Place& p = sheet.PlaceOf(i);
            // The same shape as the piece, give or take a row's rounding.
            EXPECT_NEAR(static_cast<double>(p.height) / p.width, static_cast<double>(c.heights[i]) / c.width,
                        2.0 / p.width);
            // Read down the column, or at the top of the next one.
            if (i > 0) {
                const ContactSheet::Place& q = sheet.PlaceOf(i - 1);
                EXPECT_TRUE((p.x == q.x && p.y == q.y + q.height) || (p.x > q.x));
            }
            if (p.height > 30) {
                EXPECT_EQ(At(out, p.x + p.width / 2, p.y + p.height - 4), ColourOf(i));
            }
            EXPECT_EQ(At(out, p.x + 2, p.y + 2), kRed);  // the number's tag
        }
    }
}

TEST(ContactSheet, CutLinesMarkWhereOnePieceMeetsTheNext) {
    ContactSheet sheet(100, {50, 50, 50}, 2000);
    for (std::size_t i = 0; i < 3; ++i) sheet.Add(i, Solid(100, 50, 0xFFFFFFFF));
    const Raster out = sheet.Finish();
    std::vector<int> redRows;
    const int x = sheet.PlaceOf(0).x + 90;  // clear of the numbers
    for (int y = 0; y < out.height; ++y)
        if (At(out, x, y) == kRed) redRows.push_back(y);
    const int top = sheet.PlaceOf(0).y;
    EXPECT_EQ(redRows, (std::vector<int>{top + 49, top + 50, top + 99, top + 100}));
}

TEST(ContactSheet, PiecesOfTheWrongSizeOrPlaceAreLeftOut) {
    ContactSheet sheet(100, {50, 60}, 2000);
    EXPECT_FALSE(sheet.Add(0, Solid(100, 60, 0xFF000000)));
    EXPECT_FALSE(sheet.Add(2, Solid(100, 50, 0xFF000000)));
    EXPECT_FALSE(sheet.Add(0, Raster{100, 50, {}}));
    EXPECT_FALSE(MakeContactSheet({}).pixels.empty());  // nothing to show is still a picture
    EXPECT_EQ(MakeContactSheet({Solid(10, 10, 0xFF000000)}).width, 10 + 2 * 12);
}

}  // namespace
}  // namespace mojian::mobile
