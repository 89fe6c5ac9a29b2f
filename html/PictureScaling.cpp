#include "html/PictureScaling.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace mojian::html {

namespace {

// How one output column (or row) reads the source: the source indices it
// covers and the weight of each, summing to 1.
struct Taps {
    std::vector<int> first;     // per output index: its first source index
    std::vector<int> count;     // how many source indices follow
    std::vector<float> weights;  // count[i] weights per output index, in order
    std::vector<std::size_t> offset;
};

Taps MakeTaps(int from, int to) {
    Taps t;
    t.first.resize(static_cast<std::size_t>(to));
    t.count.resize(static_cast<std::size_t>(to));
    t.offset.resize(static_cast<std::size_t>(to));
    const double scale = static_cast<double>(from) / to;
    for (int i = 0; i < to; ++i) {
        t.offset[static_cast<std::size_t>(i)] = t.weights.size();
        if (scale >= 1.0) {
            // Shrinking: the source span [i * scale, (i + 1) * scale), each pixel by its coverage.
            const double a = i * scale, b = std::min<double>(from, (i + 1) * scale);
            const int s0 = static_cast<int>(std::floor(a));
            const int s1 = std::min(from - 1, static_cast<int>(std::ceil(b)) - 1);
            t.first[static_cast<std::size_t>(i)] = s0;
            t.count[static_cast<std::size_t>(i)] = s1 - s0 + 1;
            for (int s = s0; s <= s1; ++s) {
                const double cover = std::min<double>(b, s + 1) - std::max<double>(a, s);
                t.weights.push_back(static_cast<float>(std::max(0.0, cover) / (b - a)));
            }
        } else {
            // Enlarging: between the two source pixels whose centres surround this one's.
            const double centre = (i + 0.5) * scale - 0.5;
            int s0 = static_cast<int>(std::floor(centre));
            double frac = centre - s0;
            if (s0 < 0) {
                s0 = 0;
                frac = 0;
            }
            if (s0 >= from - 1) {
                s0 = from - 1;
                frac = 0;
            }
            t.first[static_cast<std::size_t>(i)] = s0;
            if (frac > 0) {
                t.count[static_cast<std::size_t>(i)] = 2;
                t.weights.push_back(static_cast<float>(1 - frac));
                t.weights.push_back(static_cast<float>(frac));
            } else {
                t.count[static_cast<std::size_t>(i)] = 1;
                t.weights.push_back(1.0f);
            }
        }
    }
    return t;
}

}  // namespace

Picture ScalePicture(const Picture& source, int width, int height) {
    Picture out;
    const int sw = source.width, sh = source.height;
    if (sw <= 0 || sh <= 0 || width <= 0 || height <= 0 ||
        source.pixels.size() < static_cast<std::size_t>(sw) * static_cast<std::size_t>(sh) ||
        static_cast<long long>(width) * height > kMaxScaledPixels)
        return out;
    out.width = width;
    out.height = height;
    if (width == sw && height == sh) {
        out.pixels = source.pixels;
        return out;
    }
    const Taps across = MakeTaps(sw, width), down = MakeTaps(sh, height);
    // Rows first, into four float channels, then columns.
    std::vector<float> rows(static_cast<std::size_t>(width) * static_cast<std::size_t>(sh) * 4);
    for (int y = 0; y < sh; ++y) {
        const std::uint32_t* src = source.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(sw);
        float* dst = rows.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
        for (int x = 0; x < width; ++x) {
            const auto ix = static_cast<std::size_t>(x);
            float c[4] = {0, 0, 0, 0};
            const float* w = across.weights.data() + across.offset[ix];
            for (int k = 0; k < across.count[ix]; ++k) {
                const std::uint32_t p = src[across.first[ix] + k];
                for (int ch = 0; ch < 4; ++ch) c[ch] += w[k] * static_cast<float>((p >> (8 * ch)) & 0xff);
            }
            for (int ch = 0; ch < 4; ++ch) dst[ix * 4 + static_cast<std::size_t>(ch)] = c[ch];
        }
    }
    out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const auto iy = static_cast<std::size_t>(y);
        const float* w = down.weights.data() + down.offset[iy];
        for (int x = 0; x < width; ++x) {
            float c[4] = {0, 0, 0, 0};
            for (int k = 0; k < down.count[iy]; ++k) {
                const float* p = rows.data() +
                                 (static_cast<std::size_t>(down.first[iy] + k) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(x)) * 4;
                for (int ch = 0; ch < 4; ++ch) c[ch] += w[k] * p[ch];
            }
            std::uint32_t v = 0;
            const float alpha = std::clamp(c[3], 0.0f, 255.0f);
            for (int ch = 0; ch < 4; ++ch) {
                // Premultiplied: no colour channel may exceed the alpha.
                const float limit = ch == 3 ? 255.0f : alpha;
                v |= static_cast<std::uint32_t>(std::lround(std::clamp(c[ch], 0.0f, limit))) << (8 * ch);
            }
            out.pixels[iy * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = v;
        }
    }
    return out;
}

bool IsOpaque(const Picture& picture) {
    return std::all_of(picture.pixels.begin(), picture.pixels.end(), [](std::uint32_t p) { return (p >> 24) == 0xff; });
}

}  // namespace mojian::html
