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

// Every filter, read down, back up past the rows it keeps (1 MB of them),
// from two threads at once: the pixels it was made of. Each depth and
// colour type is checked against WIC's own decoder under Wine.
TEST(PngRows, EveryFilterReadsBackItsPixelsInAnyOrder) {
    constexpr int W = 600, H = 700;
    TestPng png{W, H, 8, 6, [](int x, int y, int c) { return c == 3 ? 255u : static_cast<unsigned>((x * 29 + y * 13 + c * 71) % 256); }};
    png.idatBytes = 97;
    const auto rows = OpenPngRows(MakePng(png));
    ASSERT_NE(rows, nullptr);
    std::vector<std::uint32_t> all(std::size_t{W} * H), one(W), a(all.size()), b(all.size());
    ASSERT_TRUE(rows->Read(0, H, all.data()));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ASSERT_EQ(all[static_cast<std::size_t>(y * W + x)],
                      0xFF000000u | png.sample(x, y, 0) << 16 | png.sample(x, y, 1) << 8 | png.sample(x, y, 2));
    for (int top : {650, 1, 699, 300, 302}) {
        ASSERT_TRUE(rows->Read(top, 1, one.data()));
        EXPECT_TRUE(std::equal(one.begin(), one.end(), all.begin() + top * W)) << "row " << top;
    }
    std::thread t([&] { EXPECT_TRUE(rows->Read(100, 400, a.data())); });
    EXPECT_TRUE(rows->Read(10, 400, b.data()));
    t.join();
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + 400 * W, all.begin() + 100 * W));
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 400 * W, all.begin() + 10 * W));
    EXPECT_FALSE(rows->Read(690, 11, a.data())) << "past the bottom";
}

TEST(PngRows, WhatItCannotReadIsRefusedOrFailsWhereTheDamageIs) {
    TestPng png{50, 400, 8, 2, [](int x, int y, int) { return static_cast<unsigned>(x * y % 251); }};
    png.idatBytes = 64;
    const std::string good = MakePng(png);
    ASSERT_NE(OpenPngRows(good), nullptr);
    EXPECT_EQ(OpenPngRows("GIF89a..."), nullptr);
    png.interlaced = true;
    EXPECT_EQ(OpenPngRows(MakePng(png)), nullptr) << "left to the system's decoder";
    png.interlaced = false;
    EXPECT_FALSE(ReadPngHeader(MakePng(TestPng{5, 5, 4, 2, png.sample})).has_value()) << "RGB has no 4-bit samples";
    EXPECT_EQ(OpenPngRows(MakePng(TestPng{5, 5, 4, 3, png.sample})), nullptr) << "no palette";
    TestPng bigPalette{5, 5, 8, 3, png.sample};
    bigPalette.palette = std::string(3 * 300, '\x40');
    EXPECT_EQ(OpenPngRows(MakePng(bigPalette)), nullptr) << "a palette of 300 colours";
    EXPECT_EQ(OpenPngRows(MakePng(TestPng{70000, 1, 1, 0, png.sample})), nullptr) << "rows wider than it holds";
    // A file cut short, or with a byte changed, is left to the system's decoder.
    EXPECT_EQ(OpenPngRows(good.substr(0, good.size() / 2) + good.substr(good.size() - 12)), nullptr);
    EXPECT_EQ(OpenPngRows(good.substr(0, good.size() - 12)), nullptr) << "no IEND";
    std::string damaged = good;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x5A);
    EXPECT_EQ(OpenPngRows(damaged), nullptr);
    // Data that ends early in a file whole otherwise: the rows before the end read, the rest fail.
    png.cutData = 200;
    const auto cut = OpenPngRows(MakePng(png));
    ASSERT_NE(cut, nullptr);
    std::vector<std::uint32_t> out(50u * 400);
    EXPECT_TRUE(cut->Read(0, 50, out.data()));
    EXPECT_FALSE(cut->Read(0, 400, out.data()));
}

}  // namespace
}  // namespace mojian::html
