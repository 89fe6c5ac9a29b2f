#include "html/PngRows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/html/TestPng.h"

namespace mojian::html {
namespace {

using mojian::testing::MakePng;
using mojian::testing::TestPng;

std::vector<std::uint32_t> Rows(const PictureRows& rows, int width, int top, int count) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * count, 0xDEADBEEF);
    EXPECT_TRUE(rows.Read(top, count, out.data())) << "rows " << top << " to " << top + count - 1;
    return out;
}

// A picture of every filter on every row pattern, read down, up and in any
// order, gives the pixels it was made of.
TEST(PngRows, EveryFilterReadsBackItsPixelsInAnyOrder) {
    constexpr int W = 600;
    TestPng png;
    png.width = W;
    png.height = 700;  // past the rows it keeps (1 MB of them), so reading back up starts again
    png.sample = [](int x, int y, int c) { return static_cast<unsigned>((x * 29 + y * 13 + c * 71) % 256) | (c == 3 ? 0xFFu : 0u); };
    png.idatBytes = 97;
    const auto rows = OpenPngRows(MakePng(png));
    ASSERT_NE(rows, nullptr);
    auto expected = [&](int x, int y) {
        return 0xFF000000u | png.sample(x, y, 0) << 16 | png.sample(x, y, 1) << 8 | png.sample(x, y, 2);
    };
    for (int top : {0, 5, 650, 1, 699, 300, 302}) {
        const auto got = Rows(*rows, W, top, 1);
        for (int x = 0; x < W; ++x) ASSERT_EQ(got[static_cast<std::size_t>(x)], expected(x, top)) << x << "," << top;
    }
    const auto all = Rows(*rows, W, 0, 700);
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < W; ++x) ASSERT_EQ(all[static_cast<std::size_t>(y * W + x)], expected(x, y)) << x << "," << y;
    // Two threads reading at once each get their own rows.
    std::vector<std::uint32_t> a, b;
    std::thread t([&] { a = Rows(*rows, W, 100, 400); });
    b = Rows(*rows, W, 10, 400);
    t.join();
    EXPECT_EQ(a, std::vector<std::uint32_t>(all.begin() + 100 * W, all.begin() + 500 * W));
    EXPECT_EQ(b, std::vector<std::uint32_t>(all.begin() + 10 * W, all.begin() + 410 * W));
    EXPECT_FALSE(rows->Read(690, 11, a.data())) << "past the bottom";
}

// Samples of each depth become 8 bits as WIC makes them, and transparency
// comes premultiplied.
TEST(PngRows, DepthsPalettesAndTransparency) {
    struct Case {
        const char* what;
        TestPng png;
        std::uint32_t first, second;  // the first two pixels
    };
    auto two = [](int colour, int depth, std::vector<std::vector<unsigned>> px) {
        TestPng p;
        p.width = 2;
        p.height = 3;
        p.colour = colour;
        p.depth = depth;
        p.sample = [px](int x, int, int c) { return px[static_cast<std::size_t>(x)][static_cast<std::size_t>(c)]; };
        return p;
    };
    Case cases[] = {
        {"16-bit RGB keeps the high byte", two(2, 16, {{0xABCD, 0x12FF, 0x0001}, {0xFFFF, 0, 0x8080}}), 0xFFAB1200u, 0xFFFF0080u},
        {"2-bit grey spreads over 0 to 255", two(0, 2, {{2}, {3}}), 0xFFAAAAAAu, 0xFFFFFFFFu},
        {"1-bit grey", two(0, 1, {{0}, {1}}), 0xFF000000u, 0xFFFFFFFFu},
        {"grey and alpha, premultiplied", two(4, 8, {{200, 128}, {255, 0}}), 0x80646464u, 0u},
        {"16-bit RGBA", two(6, 16, {{0xFF00, 0, 0, 0x8000}, {0, 0, 0xFFFF, 0xFFFF}}), 0x80800000u, 0xFF0000FFu},
    };
    for (Case& c : cases) {
        const auto rows = OpenPngRows(MakePng(c.png));
        ASSERT_NE(rows, nullptr) << c.what;
        const auto got = Rows(*rows, 2, 2, 1);
        EXPECT_EQ(got[0], c.first) << c.what;
        EXPECT_EQ(got[1], c.second) << c.what;
    }
    // A palette with alphas for its first entries; a 4-bit index past the palette is opaque black.
    TestPng indexed = two(3, 4, {{1}, {9}});
    indexed.palette = std::string("\xFF\x00\x00\x00\x00\xFF", 6);
    indexed.transparency = std::string("\xFF\x80", 2);
    auto got = Rows(*OpenPngRows(MakePng(indexed)), 2, 0, 1);
    EXPECT_EQ(got[0], 0x80000080u);
    EXPECT_EQ(got[1], 0xFF000000u);
    // A colour key: that one RGB value is transparent, any other opaque.
    TestPng keyed = two(2, 8, {{10, 20, 30}, {10, 20, 31}});
    keyed.transparency = std::string("\x00\x0A\x00\x14\x00\x1E", 6);
    got = Rows(*OpenPngRows(MakePng(keyed)), 2, 1, 1);
    EXPECT_EQ(got[0], 0u);
    EXPECT_EQ(got[1], 0xFF0A141Fu);
}

TEST(PngRows, WhatItCannotReadIsRefusedOrFailsWhereTheDamageIs) {
    TestPng png;
    png.width = 50;
    png.height = 400;
    png.colour = 2;
    png.sample = [](int x, int y, int) { return static_cast<unsigned>(x * y % 251); };
    png.idatBytes = 64;
    const std::string good = MakePng(png);
    ASSERT_NE(OpenPngRows(good), nullptr);
    EXPECT_EQ(OpenPngRows("GIF89a..."), nullptr);
    TestPng interlaced = png;
    interlaced.interlaced = true;
    EXPECT_TRUE(ReadPngHeader(MakePng(interlaced))->interlaced);
    EXPECT_EQ(OpenPngRows(MakePng(interlaced)), nullptr) << "left to the system's decoder";
    TestPng badDepth = png;
    badDepth.depth = 4;  // RGB has no 4-bit samples
    EXPECT_FALSE(ReadPngHeader(MakePng(badDepth)).has_value());
    TestPng noPalette = png;
    noPalette.colour = 3;
    EXPECT_EQ(OpenPngRows(MakePng(noPalette)), nullptr);

    // A file cut short, or with a byte changed, is left to the system's decoder.
    EXPECT_EQ(OpenPngRows(good.substr(0, good.size() / 2) + good.substr(good.size() - 12)), nullptr);
    EXPECT_EQ(OpenPngRows(good.substr(0, good.size() - 12)), nullptr) << "no IEND";
    std::string damaged = good;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x5A);
    EXPECT_EQ(OpenPngRows(damaged), nullptr);
    // Data that ends early in a file whole otherwise: the rows before the end read, the rest fail.
    TestPng shortData = png;
    shortData.cutData = 200;
    const auto cut = OpenPngRows(MakePng(shortData));
    ASSERT_NE(cut, nullptr);
    std::vector<std::uint32_t> out(50u * 400);
    EXPECT_TRUE(cut->Read(0, 50, out.data()));
    EXPECT_FALSE(cut->Read(0, 400, out.data()));
}

}  // namespace
}  // namespace mojian::html
