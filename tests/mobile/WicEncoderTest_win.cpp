#include "mobile/WicEncoder_win.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "html/PictureLoader_win.h"

namespace mojian::mobile {
namespace {

// Bands of the page's colours, a fine pattern in every other one, so that a
// JPEG's size depends on its quality; `w` odd so that rows need padding.
Raster Striped(int w, int h) {
    Raster r{w, h, {}};
    const std::uint32_t bands[] = {0xFFC03020, 0xFFFFFFFF, 0xFF2050A0, 0xFF000000};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            r.pixels.push_back(bands[(y / 25) % 4] ^ ((y / 25) % 2 == 0 && (x * 7 + y * 3) % 11 < 4 ? 0x303030 : 0));
    return r;
}

// The file decoded again by the program's own picture loader.
Raster Decode(const std::string& bytes) {
    const auto decoded = html::WinPictureBackend().StartWorker()->Decode(bytes, {});
    return decoded.pixels ? *decoded.pixels : Raster{};
}

// The mean difference of the colour channels.
double MeanDifference(const Raster& a, const Raster& b) {
    double total = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        for (int shift : {0, 8, 16})
            total += std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xff) - static_cast<int>((b.pixels[i] >> shift) & 0xff));
    return total / (3.0 * static_cast<double>(a.pixels.size()));
}

// Wine's JPEG encoder takes the quality option and ignores it (always its
// library's default, 75): there the sizes cannot rise, on Windows they must.
bool OnWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

TEST(WicEncoder, JpegGrowsWithQualityAndComesBackClose) {
    WicEncoder encoder;
    const Raster piece = Striped(301, 200);
    std::vector<std::size_t> sizes;
    for (int quality : {10, 40, 70, 90, 100}) {
        const auto jpeg = encoder.Encode(piece, Format::Jpeg, quality);
        ASSERT_TRUE(jpeg);
        sizes.push_back(jpeg->size());
        const Raster back = Decode(*jpeg);
        ASSERT_EQ(back.pixels.size(), piece.pixels.size());
        ASSERT_EQ(back.width, 301);
        if (quality == 100) {
            EXPECT_LT(MeanDifference(piece, back), OnWine() ? 10.0 : 3.0);
        }
    }
    if (OnWine()) {
        std::printf("Wine ignores the JPEG quality: %zu bytes at every quality\n", sizes.front());
        return;
    }
    for (std::size_t i = 1; i < sizes.size(); ++i) EXPECT_GT(sizes[i], sizes[i - 1]) << i;
}

TEST(WicEncoder, PngComesBackExactlyWithTranslucencyOnWhiteAndFalseRastersAreRefused) {
    WicEncoder encoder;
    Raster piece = Striped(123, 77);
    piece.pixels[0] = 0x80000000;  // half-transparent black, premultiplied: mid grey on white
    piece.pixels[1] = 0x00000000;  // transparent: white
    const auto png = encoder.Encode(piece, Format::Png, 1);
    ASSERT_TRUE(png);
    const Raster back = Decode(*png);
    ASSERT_EQ(back.width, 123);
    ASSERT_EQ(back.height, 77);
    piece.pixels[0] = 0xFF7F7F7F;
    piece.pixels[1] = 0xFFFFFFFF;
    EXPECT_EQ(back.pixels, piece.pixels);
    EXPECT_FALSE(encoder.Encode(Raster{}, Format::Png, 90));
    EXPECT_FALSE(encoder.Encode(Raster{10, 10, std::vector<std::uint32_t>(99)}, Format::Jpeg, 90));
    EXPECT_TRUE(encoder.Encode(Raster{1, 1, {0xFFFFFFFF}}, Format::Jpeg, 500));  // quality clamped
}

}  // namespace
}  // namespace mojian::mobile
