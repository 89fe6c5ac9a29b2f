// The five skin bitmaps as pixel tables, our own artwork: light-blue frames
// and gradients for buttons, drop buttons, option circles and headers,
// green marks for check boxes and option buttons. Pixels are 0xRRGGBB,
// row by row from the top-left corner (the layout of a 32-bpp top-down DIB).
#pragma once

#include <cstdint>
#include <vector>

namespace mojian::skin {

enum class SkinBitmap { Button, DropButton, Mark, Option, Header };
inline constexpr int SkinBitmapCount = 5;

inline constexpr std::uint32_t KeyPixel = 0xFF00FF;

struct SkinImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// Built on first use and kept for the run (a few kilobytes).
const SkinImage& SkinArt(SkinBitmap which);

}  // namespace mojian::skin
