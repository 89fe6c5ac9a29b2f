#include "mobile/ContactSheet.h"

#include <gtest/gtest.h>

namespace mojian::mobile {
namespace {

constexpr std::uint32_t kRed = 0xFFE0201C;

Raster Solid(int w, int h, std::uint32_t colour) {
    return Raster{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, colour)};
}
std::uint32_t At(const Raster& r, int x, int y) { return r.pixels[static_cast<std::size_t>(y) * r.width + x]; }

TEST(ContactSheet, PiecesInOrderInTheirShapeWithinTheBoundWithCutsAndNumbers) {
    const struct {
        int width;
        std::vector<int> heights;
        int maxSide, columns;
    } cases[] = {
        {750, std::vector<int>(14, 1546), 2000, 5},  // a long page
        {1242, {1546, 1546, 1546, 700}, 2000, 2},
        {100, {50, 50, 50}, 2000, 1},  // small enough to show as it is
        {750, {1546, 10, 1546}, 1000, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heights.size());
        ContactSheet sheet(c.width, c.heights, c.maxSide);
        for (std::size_t i = 0; i < c.heights.size(); ++i)
            ASSERT_TRUE(sheet.Add(i, Solid(c.width, c.heights[i], 0xFF000000u | 0x102030u * (i + 1))));
        const Raster out = sheet.Finish();
        EXPECT_LE(out.width, c.maxSide);
        EXPECT_LE(out.height, c.maxSide);
        EXPECT_EQ(sheet.Columns(), c.columns);
        for (std::size_t i = 0; i < c.heights.size(); ++i) {
            const ContactSheet::Place& p = sheet.PlaceOf(i);
            EXPECT_NEAR(static_cast<double>(p.height) / p.width, static_cast<double>(c.heights[i]) / c.width,
                        2.0 / p.width);
            if (i > 0) {  // right below the one before, or at the top of the next column
                const ContactSheet::Place& q = sheet.PlaceOf(i - 1);
                EXPECT_TRUE((p.x == q.x && p.y == q.y + q.height) || p.x > q.x);
                // The cut line, clear of the number's tag, straddles the boundary.
                if (p.x == q.x) {
                    EXPECT_EQ(At(out, p.x + p.width - 3, p.y - 1), kRed);
                    EXPECT_EQ(At(out, p.x + p.width - 3, p.y), kRed);
                }
            }
            if (p.height > 30) {
                EXPECT_EQ(At(out, p.x + p.width / 2, p.y + p.height - 4), 0xFF000000u | 0x102030u * (i + 1));
            }
            EXPECT_EQ(At(out, p.x + 2, p.y + 2), kRed);  // the number's tag
        }
        if (c.width == 100) {
            EXPECT_EQ(sheet.Scale(), 1.0);
        }
    }
}

TEST(ContactSheet, PiecesOfTheWrongSizeOrPlaceAreLeftOut) {
    ContactSheet sheet(100, {50, 60}, 2000);
    EXPECT_FALSE(sheet.Add(0, Solid(100, 60, 0xFF000000)));
    EXPECT_FALSE(sheet.Add(2, Solid(100, 50, 0xFF000000)));
    EXPECT_FALSE(sheet.Add(0, Raster{100, 50, {}}));
    EXPECT_FALSE(MakeContactSheet({}).pixels.empty());  // nothing to show is still a picture
}

}  // namespace
}  // namespace mojian::mobile
