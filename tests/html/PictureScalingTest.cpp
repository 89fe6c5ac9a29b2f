#include "html/PictureScaling.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace mojian::html {
namespace {

Picture Row(std::vector<std::uint32_t> pixels) {
    Picture p;
    p.width = static_cast<int>(pixels.size());
    p.height = 1;
    p.pixels = std::move(pixels);
    return p;
}

constexpr std::uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF;

int Channel(std::uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xff); }

TEST(PictureScaling, ShrinkingAveragesTheAreaEachPixelCovers) {
    const Picture halved = ScalePicture(Row({kRed, kRed, kBlue, kBlue}), 2, 1);
    ASSERT_EQ(halved.pixels.size(), 2u);
    EXPECT_EQ(halved.pixels[0], kRed);
    EXPECT_EQ(halved.pixels[1], kBlue);
    // Three to two: the middle pixel is split between both.
    const Picture thirds = ScalePicture(Row({kBlack, kWhite, kBlack}), 2, 1);
    EXPECT_EQ(Channel(thirds.pixels[0], 16), 85);  // (0 + 0.5 * 255) / 1.5
    EXPECT_EQ(Channel(thirds.pixels[1], 16), 85);
    // A fine stripe pattern becomes its average, not a pattern of its own.
    std::vector<std::uint32_t> stripes;
    for (int i = 0; i < 100; ++i) stripes.push_back(i % 2 ? kWhite : kBlack);
    for (std::uint32_t p : ScalePicture(Row(stripes), 7, 1).pixels) EXPECT_NEAR(Channel(p, 8), 128, 10);
}

TEST(PictureScaling, EnlargingInterpolatesBetweenNeighbours) {
    const Picture wide = ScalePicture(Row({kBlack, kWhite}), 8, 3);
    ASSERT_EQ(wide.width, 8);
    ASSERT_EQ(wide.height, 3);
    EXPECT_EQ(wide.pixels[0], kBlack);
    EXPECT_EQ(wide.pixels[7], kWhite);
    for (int x = 1; x < 8; ++x) EXPECT_GE(Channel(wide.pixels[x], 0), Channel(wide.pixels[x - 1], 0));
    EXPECT_EQ(wide.pixels[8 * 2 + 3], wide.pixels[3]);  // every row alike
    Picture one = Row({kRed});
    for (std::uint32_t p : ScalePicture(one, 5, 4).pixels) EXPECT_EQ(p, kRed);
}

TEST(PictureScaling, TransparencyStaysPremultipliedAndOddRequestsGiveNothing) {
    const Picture edge = ScalePicture(Row({0x00000000, kRed, kRed, 0x00000000}), 3, 2);
    for (std::uint32_t p : edge.pixels) {
        const int alpha = Channel(p, 24);
        for (int shift : {0, 8, 16}) EXPECT_LE(Channel(p, shift), alpha);
    }
    EXPECT_FALSE(IsOpaque(edge));
    EXPECT_TRUE(IsOpaque(Row({kRed, kBlue})));
    const Picture same = ScalePicture(Row({kRed, kBlue}), 2, 1);
    EXPECT_EQ(same.pixels, (std::vector<std::uint32_t>{kRed, kBlue}));
    EXPECT_TRUE(ScalePicture(Row({kRed}), 0, 5).pixels.empty());
    EXPECT_TRUE(ScalePicture(Row({kRed}), 100000, 100000).pixels.empty());  // beyond the bound
    EXPECT_TRUE(ScalePicture(Picture{}, 5, 5).pixels.empty());
    Picture shortOfPixels = Row({kRed});
    shortOfPixels.width = 4;
    EXPECT_TRUE(ScalePicture(shortOfPixels, 2, 1).pixels.empty());
}

}  // namespace
}  // namespace mojian::html
