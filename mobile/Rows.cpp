#include "mobile/Rows.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace mojian::mobile {

std::vector<float> RowSpread(const Raster& band) {
    if (band.width <= 0 || band.height <= 0 ||
        band.pixels.size() != static_cast<std::size_t>(band.width) * static_cast<std::size_t>(band.height))
        return {};
    const auto width = static_cast<std::size_t>(band.width);
    std::vector<float> spread(static_cast<std::size_t>(band.height), 0.0f);
    // Counting sort per channel: the median of a row in one pass, whatever its width.
    std::array<std::array<std::uint32_t, 256>, 4> counts{};
    for (std::size_t y = 0; y < spread.size(); ++y) {
        const std::uint32_t* row = band.pixels.data() + y * width;
        if (std::all_of(row, row + width, [&](std::uint32_t p) { return p == row[0]; })) continue;  // the usual case
        for (auto& c : counts) c.fill(0);
        for (std::size_t x = 0; x < width; ++x)
            for (int ch = 0; ch < 4; ++ch) ++counts[static_cast<std::size_t>(ch)][(row[x] >> (8 * ch)) & 0xff];
        std::array<int, 4> median{};
        for (int ch = 0; ch < 4; ++ch) {
            std::size_t seen = 0;
            int v = 0;
            while (v < 255 && (seen += counts[static_cast<std::size_t>(ch)][static_cast<std::size_t>(v)]) * 2 <= width) ++v;
            median[static_cast<std::size_t>(ch)] = v;
        }
        double total = 0;
        for (std::size_t x = 0; x < width; ++x) {
            int most = 0;
            for (int ch = 0; ch < 4; ++ch)
                most = std::max(most, std::abs(static_cast<int>((row[x] >> (8 * ch)) & 0xff) - median[static_cast<std::size_t>(ch)]));
            total += most;
        }
        spread[y] = static_cast<float>(total / static_cast<double>(width));
    }
    return spread;
}

}  // namespace mojian::mobile
