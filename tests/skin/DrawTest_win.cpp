#include <gtest/gtest.h>

#include "skin/Draw_win.h"
#include "skin/Skin.h"
#include "tests/skin/Png.h"
#include "tests/skin/WinSupport.h"

namespace mojian::skin {
namespace {

using testing::Canvas;

// Every source pixel different, so each copied pixel says where it came from.
std::uint32_t Coded(int x, int y) { return 0x100000u * static_cast<unsigned>(x + 1) + 0x400u * static_cast<unsigned>(y) + 0x11; }

void FillCoded(Canvas& c) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) c.Set(x, y, Coded(x, y));
}

TEST(NineGridBlt, CornersStayEdgesAndCentreStretch) {
    Canvas src(7, 84);
    FillCoded(src);
    Canvas dst(80, 30, 0x123456);
    constexpr int dx = 2, dy = 3;
    ASSERT_NE(NineGridBlt(dst.dc(), dx, dy, 75, 23, src.dc(), 0, 21, 7, 21, 3, 3, 3, 3), 0);

    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(dst.At(dx + i, dy + j), Coded(i, 21 + j));                   // top left
            EXPECT_EQ(dst.At(dx + 72 + i, dy + j), Coded(4 + i, 21 + j));          // top right
            EXPECT_EQ(dst.At(dx + i, dy + 20 + j), Coded(i, 21 + 18 + j));         // bottom left
            EXPECT_EQ(dst.At(dx + 72 + i, dy + 20 + j), Coded(4 + i, 21 + 18 + j));  // bottom right
        }
    }
    // The 1-pixel centre column covers the 69 columns between the borders,
    // on every row: top edge, centre and bottom edge.
    for (int x = 3; x < 72; ++x) {
        for (int y = 0; y < 23; ++y) EXPECT_EQ(dst.At(dx + x, dy + y), dst.At(dx + 3, dy + y)) << x << "," << y;
    }
    EXPECT_EQ(dst.At(dx + 3, dy + 0), Coded(3, 21));
    EXPECT_EQ(dst.At(dx + 3, dy + 22), Coded(3, 41));
    // The side edges stretch downwards only: their rows come from rows 3..17
    // of the tile in order.
    EXPECT_EQ(dst.At(dx + 0, dy + 3), Coded(0, 24));
    EXPECT_EQ(dst.At(dx + 74, dy + 19), Coded(6, 38));
    // Nothing outside the destination rectangle.
    for (int x = 0; x < 80; ++x) {
        EXPECT_EQ(dst.At(x, 2), 0x123456u);
        EXPECT_EQ(dst.At(x, 26), 0x123456u);
    }
    for (int y = 0; y < 30; ++y) {
        EXPECT_EQ(dst.At(1, y), 0x123456u);
        EXPECT_EQ(dst.At(77, y), 0x123456u);
    }
}

TEST(NineGridBlt, AtItsOwnSizeItIsTheSource) {
    Canvas src(20, 20);
    FillCoded(src);
    src.Set(6, 7, 0xFF00FF);
    Canvas plain(20, 20, 0x123456), keyed(20, 20, 0x123456);
    ASSERT_NE(NineGridBlt(plain.dc(), 2, 3, 13, 13, src.dc(), 4, 5, 13, 13, 5, 5, 5, 5), 0);
    ASSERT_NE(NineGridBlt(keyed.dc(), 2, 3, 13, 13, src.dc(), 4, 5, 13, 13, 5, 5, 5, 5, Hex(0xFF00FF)), 0);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 2 && x < 15 && y >= 3 && y < 16;
            const std::uint32_t from = inside ? src.At(x + 2, y + 2) : 0x123456u;
            ASSERT_EQ(plain.At(x, y), from) << x << "," << y;
            ASSERT_EQ(keyed.At(x, y), from == 0xFF00FFu ? 0x123456u : from) << x << "," << y;
        }
    }
}

TEST(NineGridBlt, ZeroSizesDrawNothing) {
    Canvas src(7, 21);
    FillCoded(src);
    Canvas dst(20, 20, 0x123456);
    EXPECT_EQ(NineGridBlt(dst.dc(), 0, 0, 0, 10, src.dc(), 0, 0, 7, 21, 3, 3, 3, 3), 0);
    EXPECT_EQ(NineGridBlt(dst.dc(), 0, 0, 10, 0, src.dc(), 0, 0, 7, 21, 3, 3, 3, 3), 0);
    EXPECT_EQ(NineGridBlt(dst.dc(), 0, 0, 10, 10, src.dc(), 0, 0, 0, 21, 3, 3, 3, 3), 0);
    EXPECT_EQ(NineGridBlt(dst.dc(), 0, 0, 10, 10, src.dc(), 0, 0, 7, 0, 3, 3, 3, 3), 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(dst.At(x, y), 0x123456u);
}

TEST(NineGridBlt, NoBordersIsOneStretch) {
    Canvas src(9, 20);
    FillCoded(src);
    Canvas viaGrid(40, 30, 0), viaStretch(40, 30, 0);
    NineGridBlt(viaGrid.dc(), 1, 2, 31, 25, src.dc(), 1, 0, 1, 20, 0, 0, 0, 0);
    StretchBlt(viaStretch.dc(), 1, 2, 31, 25, src.dc(), 1, 0, 1, 20, SRCCOPY);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(viaGrid.At(x, y), viaStretch.At(x, y)) << x << "," << y;
    EXPECT_EQ(viaGrid.At(31, 2), Coded(1, 0));
}

TEST(NineGridBlt, KeyColourLeavesTheDestination) {
    Canvas src(13, 13, 0xFF00FF);
    for (int y = 4; y < 9; ++y)
        for (int x = 4; x < 9; ++x) src.Set(x, y, 0x336699);
    Canvas dst(30, 30, 0x00AA00);
    EXPECT_EQ(NineGridBlt(dst.dc(), 2, 2, 26, 26, src.dc(), 0, 0, 13, 13, 5, 5, 5, 5, Hex(0xFF00FF)), 1);
    EXPECT_EQ(dst.At(3, 3), 0x00AA00u);
    EXPECT_EQ(dst.At(15, 15), 0x336699u);
}

TEST(KeyedBlt, WithoutKeyPixelsItIsAPlainCopy) {
    Canvas src(16, 12);
    FillCoded(src);
    Canvas keyed(20, 20, 0x445566), plain(20, 20, 0x445566);
    KeyedBlt(keyed.dc(), 3, 4, 10, 8, src.dc(), 2, 1, Hex(0xFF00FF));
    BitBlt(plain.dc(), 3, 4, 10, 8, src.dc(), 2, 1, SRCCOPY);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(keyed.At(x, y), plain.At(x, y)) << x << "," << y;
}

TEST(KeyedBlt, OnlyKeyPixelsLeaveTheDestinationUnchanged) {
    Canvas allKey(8, 8, 0xFF00FF);
    Canvas dst(8, 8);
    FillCoded(dst);
    KeyedBlt(dst.dc(), 0, 0, 8, 8, allKey.dc(), 0, 0, Hex(0xFF00FF));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(dst.At(x, y), Coded(x, y));

    // A checkerboard of key and colour: the colour lands, the key does not.
    Canvas mixed(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) mixed.Set(x, y, (x + y) % 2 ? 0xFF00FF : 0x000000);
    KeyedBlt(dst.dc(), 0, 0, 8, 8, mixed.dc(), 0, 0, Hex(0xFF00FF));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(dst.At(x, y), (x + y) % 2 ? Coded(x, y) : 0u);
}

TEST(KeyedBlt, SystemColourKeysAreTranslated) {
    const std::uint32_t window = GetSysColor(COLOR_WINDOW);
    const std::uint32_t windowRgb = ((window & 0xFF) << 16) | (window & 0xFF00) | ((window >> 16) & 0xFF);
    Canvas src(6, 6, windowRgb);
    src.Set(2, 2, windowRgb ^ 0x0F0F0F);
    Canvas dst(6, 6, 0x224488);
    KeyedBlt(dst.dc(), 0, 0, 6, 6, src.dc(), 0, 0, 0x80000000u | COLOR_WINDOW);
    EXPECT_EQ(dst.At(0, 0), 0x224488u);
    EXPECT_EQ(dst.At(5, 5), 0x224488u);
    EXPECT_EQ(dst.At(2, 2), windowRgb ^ 0x0F0F0F);
}

TEST(Boxes, FillFrameFocusAndCaption) {
    Canvas c(30, 20, 0xFFFFFF);
    EXPECT_NE(FillBox(c.dc(), 2, 3, 5, 4, Hex(0x4CD6F6)), 0);
    EXPECT_EQ(c.At(2, 3), 0x4CD6F6u);
    EXPECT_EQ(c.At(6, 6), 0x4CD6F6u);
    EXPECT_EQ(c.At(7, 6), 0xFFFFFFu);
    EXPECT_EQ(c.At(6, 7), 0xFFFFFFu);

    EXPECT_NE(FrameBox(c.dc(), 10, 2, 8, 6, BorderColour), 0);
    EXPECT_EQ(c.At(10, 2), 0x54A5D5u);
    EXPECT_EQ(c.At(17, 7), 0x54A5D5u);
    EXPECT_EQ(c.At(11, 3), 0xFFFFFFu);  // a frame, not a fill
    EXPECT_EQ(c.At(18, 7), 0xFFFFFFu);

    Canvas f(20, 20, 0xFFFFFF);
    EXPECT_NE(FocusBox(f.dc(), 2, 2, 16, 16), 0);
    int changed = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool ring = (x == 2 || x == 17 || y == 2 || y == 17) && x >= 2 && x <= 17 && y >= 2 && y <= 17;
            if (f.At(x, y) != 0xFFFFFFu) {
                ++changed;
                EXPECT_TRUE(ring) << x << "," << y;
            }
        }
    }
    EXPECT_GT(changed, 10);

    Canvas t(120, 30, 0xFFFFFF);
    SetBkMode(t.dc(), TRANSPARENT);
    const int h = DrawCaption(t.dc(), L"&Save 添加模块", 10, 5, 100, 20, CaptionFormat);
    EXPECT_GT(h, 0);
    int ink = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 120; ++x) {
            if (t.At(x, y) == 0xFFFFFFu) continue;
            ++ink;
            EXPECT_TRUE(x >= 10 && x < 110 && y >= 5 && y < 25) << x << "," << y;
        }
    }
    EXPECT_GT(ink, 20);
}

// The surfaces the engine builds hold the artwork pixel for pixel; the
// primitives give back every object they make.
TEST(SkinBitmaps, SurfacesHoldTheArtworkAndPrimitivesLeakNothing) {
    const int before = testing::LiveGdiObjects();
    {
        SkinSurfaces skins = BuildSkinBitmaps();
        for (int i = 0; i < SkinBitmapCount; ++i) {
            const SkinImage& art = SkinArt(static_cast<SkinBitmap>(i));
            ASSERT_TRUE(skins[static_cast<std::size_t>(i)]);
            Canvas c(art.width, art.height);
            testing::CopyFrom(skins[static_cast<std::size_t>(i)].dc(), c);
            for (int y = 0; y < art.height; ++y)
                for (int x = 0; x < art.width; ++x) ASSERT_EQ(c.At(x, y), art.At(x, y)) << i << ":" << x << "," << y;
        }
        Canvas dst(80, 30);
        for (int k = 0; k < 100; ++k) {
            NineGridBlt(dst.dc(), 0, 0, 75, 23, skins[0].dc(), 0, 0, 7, 21, 3, 3, 3, 3);
            NineGridBlt(dst.dc(), 0, 0, 13, 13, skins[3].dc(), 0, 0, 13, 13, 5, 5, 5, 5, Hex(0xFF00FF));
            KeyedBlt(dst.dc(), 0, 0, 9, 8, skins[2].dc(), 0, 0, Hex(0xFF00FF));
            Surface s = NewSurface(10, 10);
            FillBox(s.dc(), 0, 0, 10, 10, White);
            FrameBox(s.dc(), 0, 0, 10, 10, BorderColour);
        }
    }
    EXPECT_EQ(testing::LiveGdiObjects(), before);
}

// While the skin holds the display, the drawing works in kept scratch
// surfaces: the pixels must be the same as with surfaces made per call,
// whatever sizes came before (a big piece, then a small one), and letting
// go of the display must free everything.
TEST(HeldDisplay, DrawsTheSamePixelsAndLetsGoOfEverything) {
    Canvas src(40, 40);
    FillCoded(src);
    for (int y = 10; y < 20; ++y)
        for (int x = 10; x < 20; ++x) src.Set(x, y, 0xFF00FF);
    const auto draw = [&](Canvas& dst) {
        NineGridBlt(dst.dc(), 1, 1, 70, 50, src.dc(), 0, 0, 30, 30, 4, 4, 4, 4, Hex(0xFF00FF));
        NineGridBlt(dst.dc(), 5, 60, 13, 13, src.dc(), 8, 8, 13, 13, 5, 5, 5, 5, Hex(0xFF00FF));
        KeyedBlt(dst.dc(), 40, 60, 24, 18, src.dc(), 2, 5, Hex(0xFF00FF));
        KeyedBlt(dst.dc(), 70, 2, 5, 5, src.dc(), 12, 12, Hex(0xFF00FF));  // all key: nothing lands
        NineGridBlt(dst.dc(), 70, 20, 9, 9, src.dc(), 0, 0, 9, 9, 2, 2, 2, 2);
    };
    Canvas fresh(80, 80, 0x00AA00);
    draw(fresh);

    Canvas held(80, 80, 0x00AA00), once(80, 80, 0x00AA00);
    const int before = testing::LiveGdiObjects();
    HoldDisplay();
    draw(held);
    draw(held);  // again, over its own result: the kept surfaces start clean each time
    draw(once);
    ReleaseDisplay();
    EXPECT_EQ(testing::LiveGdiObjects(), before);

    Canvas twice(80, 80, 0x00AA00);
    draw(twice);
    draw(twice);
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 80; ++x) {
            ASSERT_EQ(once.At(x, y), fresh.At(x, y)) << x << "," << y;
            ASSERT_EQ(held.At(x, y), twice.At(x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(once.At(72, 4), 0x00AA00u);  // the all-key mark left the destination
}

}  // namespace
}  // namespace mojian::skin
