#include "skin/SkinArt.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace mojian::skin {

namespace {

using Pixel = std::uint32_t;

Pixel Mix(Pixel a, Pixel b, double t) {  // t = 0 gives a, 1 gives b
    auto channel = [&](int shift) {
        const double ca = (a >> shift) & 0xFF;
        const double cb = (b >> shift) & 0xFF;
        return static_cast<Pixel>(std::lround(ca + (cb - ca) * t)) << shift;
    };
    return channel(16) | channel(8) | channel(0);
}

class Canvas {
public:
    Canvas(int w, int h) { image_.width = w, image_.height = h, image_.pixels.assign(static_cast<std::size_t>(w * h), KeyPixel); }
    void Set(int x, int y, Pixel p) { image_.pixels[static_cast<std::size_t>(y * image_.width + x)] = p; }
    SkinImage Take() { return std::move(image_); }

private:
    SkinImage image_;
};

// --- ButtonSkin: four 7 x 21 tiles, a rounded frame around a gradient ------

struct ButtonTile {
    Pixel frame;
    std::array<Pixel, 3> corner;  // outermost, middle, inner corner pixels of row 0
    Pixel top;                    // interior colour at row 3
    Pixel bottom;                 // interior colour at row 19
    Pixel glow;                   // colour the interior leans to at the side columns
    double sideLean;              // how far the side columns lean to `glow`
    double nearLean;              // the same for columns 2 and 4
};

Pixel ButtonInterior(const ButtonTile& t, int x, int y) {
    const double g = std::clamp((y - 3) / 16.0, 0.0, 1.0);
    Pixel base = Mix(t.top, t.bottom, g);
    if (y == 1) base = Mix(base, 0xFFFFFF, 0.9);
    if (y == 2) base = Mix(base, 0xFFFFFF, 0.6);
    if (x == 1 || x == 5) return Mix(base, t.glow, t.sideLean);
    if (x == 2 || x == 4) return Mix(base, t.glow, t.nearLean);
    return base;
}

void DrawButtonTile(Canvas& c, int tile, const ButtonTile& t) {
    const int oy = 21 * tile;
    const auto [c0, c1, c2] = t.corner;
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 7; ++x) c.Set(x, oy + y, ButtonInterior(t, x, y));
    }
    const std::array<Pixel, 7> rim{c0, c1, c2, t.frame, c2, c1, c0};
    for (int x = 0; x < 7; ++x) {
        c.Set(x, oy, rim[static_cast<std::size_t>(x)]);
        c.Set(x, oy + 20, rim[static_cast<std::size_t>(x)]);
    }
    for (int y = 1; y < 20; ++y) {
        Pixel side = t.frame;
        if (y == 1 || y == 19) side = c1;
        if (y == 2 || y == 18) side = c2;
        c.Set(0, oy + y, side);
        c.Set(6, oy + y, side);
    }
    // The inner pixel of each rounded corner softens the curve.
    for (int y : {1, 19}) {
        c.Set(1, oy + y, Mix(c2, ButtonInterior(t, 1, y), 0.55));
        c.Set(5, oy + y, Mix(c2, ButtonInterior(t, 5, y), 0.55));
    }
}

ButtonTile TileFromFrame(Pixel frame, Pixel top, Pixel bottom, Pixel glow, double side, double near) {
    return {frame, {Mix(frame, 0xFFFFFF, 0.72), Mix(frame, 0xFFFFFF, 0.36), Mix(frame, 0xFFFFFF, 0.08)},
            top,   bottom, glow, side, near};
}

SkinImage BuildButtonSkin() {
    Canvas c(7, 84);
    // Normal: white to #B1D0EA, the side columns a little lighter.
    DrawButtonTile(c, 0, {0x1B8FD5, {0xBFE1F9, 0x6BB3E3, 0x2C97D8}, 0xF1F8FC, 0xB1D0EA, 0xFFFFFF, 0.3, 0.0});
    // Hot: a cyan glow from the frame colour at the sides to #E4F2FC in the centre.
    DrawButtonTile(c, 1, TileFromFrame(0x4CC3FB, 0xE4F2FC, 0xD2EBFB, 0x4CC3FB, 0.55, 0.25));
    // Pressed: darker frame, the gradient turned upside down.
    DrawButtonTile(c, 2, TileFromFrame(0x1670B0, 0xB9D6EE, 0xEAF4FC, 0x8DBEE4, 0.35, 0.1));
    // Disabled: pale frame, near white to #D2E3F3.
    DrawButtonTile(c, 3, TileFromFrame(0x87C3E8, 0xFCFDFE, 0xD2E3F3, 0xFFFFFF, 0.3, 0.0));
    return c.Take();
}

// --- DropButtonSkin: two backgrounds and two arrows ------------------------

SkinImage BuildDropButtonSkin() {
    Canvas c(15, 18);
    for (int y = 0; y < 18; ++y) {
        const double g = y / 17.0;
        c.Set(0, y, 0x4EA0D1);  // hot background, its left frame
        for (int x = 1; x < 4; ++x) c.Set(x, y, Mix(0xE8F9FF, 0xB3E2F7, g));
        c.Set(4, y, 0x4EA0D1);  // pressed background
        for (int x = 5; x < 8; ++x) c.Set(x, y, Mix(0xBEE1F3, 0x86C5E8, g));
    }
    // Arrows: rows of 7, 5, 3 and 1 pixels, centred; the key colour beside them.
    for (int row = 0; row < 4; ++row) {
        for (int x = row; x < 7 - row; ++x) {
            c.Set(8 + x, row, 0x19555F);
            c.Set(8 + x, 4 + row, 0x84A5AC);
        }
    }
    return c.Take();
}

// --- MarkSkin: check marks, indeterminate squares, option dots -------------

SkinImage BuildMarkSkin() {
    Canvas c(18, 24);
    // A 9 x 8 tick: its tip at the top right, its base at the bottom.
    static constexpr std::array<const char*, 8> kTick{
        "........#", ".......##", "#.....##.", "##...##..",
        "###.##...", ".#####...", "..###....", "...#.....",
    };
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 9; ++x) {
            if (kTick[static_cast<std::size_t>(y)][x] != '#') continue;
            c.Set(x, y, Mix(0x54B71D, 0x359102, y / 7.0));
            c.Set(9 + x, y, Mix(0xA8DA8C, 0x98C77E, y / 7.0));
        }
    }
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 7; ++x) {
            c.Set(1 + x, 9 + y, Mix(0x51B41B, 0x399606, y / 6.0));
            c.Set(10 + x, 9 + y, Mix(0xA6D98B, 0x9AC980, y / 6.0));
        }
    }
    // Round 5 x 5 dots: the centre lightest, the rim a shade darker.
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            const int d2 = (x - 2) * (x - 2) + (y - 2) * (y - 2);
            if (d2 > 5) continue;  // the four corners stay transparent
            const double t = d2 / 5.0;
            c.Set(2 + x, 18 + y, Mix(0x4FB119, 0x37920A, t));
            c.Set(11 + x, 18 + y, Mix(0xA7D88C, 0x95C47A, t));
        }
    }
    return c.Take();
}

// --- OptionSkin: four 13 x 13 circles --------------------------------------

struct OptionTile {
    Pixel ring;
    Pixel top;     // interior at the top of the circle
    Pixel bottom;  // interior at the bottom
    bool shaded;   // the normal circle: white with a soft inner shade
};

void DrawOptionTile(Canvas& c, int tile, const OptionTile& t) {
    const int oy = 13 * tile;
    for (int y = 0; y < 13; ++y) {
        for (int x = 0; x < 13; ++x) {
            const double d = std::hypot(x - 6, y - 6);
            if (d >= 6.5) continue;  // key colour outside the circle
            Pixel p;
            if (d >= 5.5) {
                p = t.ring;
            } else if (t.shaded) {
                p = d >= 4.5 ? 0xF3F7FA : d >= 3.5 ? 0xFDFEFE : 0xFFFFFF;
            } else {
                p = Mix(t.top, t.bottom, (y - 1) / 10.0);
            }
            c.Set(x, oy + y, p);
        }
    }
}

SkinImage BuildOptionSkin() {
    Canvas c(13, 52);
    DrawOptionTile(c, 0, {0x83A6D2, 0xFFFFFF, 0xFFFFFF, true});
    DrawOptionTile(c, 1, {0x5FA8DC, 0xC3EAF8, 0xE1F5FD, false});
    DrawOptionTile(c, 2, {0x6489C1, 0xADE1F5, 0xD5F1FD, false});
    DrawOptionTile(c, 3, {0xC1D2E8, 0xFCFDFE, 0xF4F7FA, false});
    return c.Take();
}

// --- HeaderSkin: three 3 x 20 item tiles -----------------------------------

SkinImage BuildHeaderSkin() {
    Canvas c(9, 20);
    for (int y = 0; y < 20; ++y) {
        const double g = y / 18.0;
        // Normal: pale blue to white, a separator on the right, a line below.
        c.Set(0, y, Mix(0xEAF5FE, 0xFBFDFF, g));
        c.Set(1, y, Mix(0xEAF5FE, 0xFBFDFF, g));
        c.Set(2, y, y == 0 ? 0xEAF5FE : 0xC2DDF2);
        // Hot: a brighter blue, the centre column lighter.
        c.Set(3, y, Mix(0xBDE6FD, 0xA1DAFA, g));
        c.Set(4, y, Mix(0xD3EEFE, 0xB9E3FC, g));
        c.Set(5, y, Mix(0xBDE6FD, 0xA1DAFA, g));
        // Pressed: deeper still.
        for (int x = 6; x < 9; ++x) c.Set(x, y, Mix(0x97D7FB, 0x7BC9F5, g));
    }
    for (int x = 0; x < 9; ++x) c.Set(x, 19, x < 3 ? 0xA9D2EF : x < 6 ? 0x6CBFEE : 0x4FA9E0);
    return c.Take();
}

}  // namespace

const SkinImage& SkinArt(SkinBitmap which) {
    static const std::array<SkinImage, SkinBitmapCount> kArt{
        BuildButtonSkin(), BuildDropButtonSkin(), BuildMarkSkin(), BuildOptionSkin(), BuildHeaderSkin(),
    };
    return kArt[static_cast<std::size_t>(which)];
}

}  // namespace mojian::skin
