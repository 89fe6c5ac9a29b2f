#include "mobile/ReusingPainter.h"

#include <algorithm>
#include <cmath>

#include "mobile/ContactSheet.h"

namespace mojian::mobile {

ReusingPainter::ReusingPainter(PagePainter& inner, std::size_t keepBytes, int sheetSide)
    : inner_(inner), width_(std::max(0, inner.Width())), height_(std::max(0, inner.Height())), sheetSide_(sheetSide) {
    const std::size_t rowBytes = std::max<std::size_t>(1, static_cast<std::size_t>(width_) * sizeof(std::uint32_t));
    keepRows_ = static_cast<int>(std::min<std::size_t>(keepBytes / rowBytes, static_cast<std::size_t>(height_)));
    // The sheet shows the page at about sheetSide / sqrt(area) of its size;
    // the copy is kept at least that big, in powers of two.
    const double area = std::max(1.0, static_cast<double>(width_) * static_cast<double>(height_));
    const double scale = std::min(1.0, std::max(1, sheetSide) / std::sqrt(area));
    while (shrink_ * 2 <= 1.0 / scale) shrink_ *= 2;
    smallWidth_ = (width_ + shrink_ - 1) / shrink_;
    sums_.assign(static_cast<std::size_t>(smallWidth_) * 4, 0);
}

bool ReusingPainter::Paint(int top, Raster& band) {
    if (band.width != width_ || band.height <= 0 || top < 0) return inner_.Paint(top, band);
    const std::size_t rowPixels = static_cast<std::size_t>(width_);
    const int fromMemory = std::clamp(keptRows_ - top, 0, band.height);
    if (fromMemory > 0) {
        // The kept rows copied, the rest painted: bands painted apart stack
        // up to the page painted whole.
        const auto from = kept_.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(top) * rowPixels);
        band.pixels.assign(from, from + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(fromMemory) * rowPixels));
        if (fromMemory == band.height) return true;
        Raster rest{width_, band.height - fromMemory, {}};
        rest.pixels.assign(static_cast<std::size_t>(rest.height) * rowPixels, 0xFFFFFFFFu);
        if (!inner_.Paint(top + fromMemory, rest)) return false;
        painted_ += rest.height;
        band.pixels.insert(band.pixels.end(), rest.pixels.begin(), rest.pixels.end());
        return true;
    }
    if (!inner_.Paint(top, band)) return false;
    painted_ += band.height;
    if (band.pixels.size() != static_cast<std::size_t>(band.height) * rowPixels) return true;
    if (top == keptRows_ && keptRows_ < keepRows_) {
        const int rows = std::min(band.height, keepRows_ - keptRows_);
        kept_.insert(kept_.end(), band.pixels.begin(), band.pixels.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(rows) * rowPixels));
        keptRows_ += rows;
    }
    if (top == next_) AddToCopy(band);
    return true;
}

void ReusingPainter::AddToCopy(const Raster& band) {
    for (int y = 0; y < band.height; ++y) {
        const std::uint32_t* row = band.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = 0; x < width_; ++x) {
            std::uint32_t* s = &sums_[static_cast<std::size_t>(x / shrink_) * 4];
            const std::uint32_t p = row[x];
            s[0] += p & 0xFF, s[1] += (p >> 8) & 0xFF, s[2] += (p >> 16) & 0xFF, s[3] += p >> 24;
        }
        ++next_;
        // A row of the copy is done after `shrink_` rows, or at the page's end.
        if (++gathered_ < shrink_ && next_ < height_) continue;
        for (int sx = 0; sx < smallWidth_; ++sx) {
            const std::uint32_t columns = static_cast<std::uint32_t>(std::min(shrink_, width_ - sx * shrink_));
            const std::uint32_t n = columns * static_cast<std::uint32_t>(gathered_);
            std::uint32_t* s = &sums_[static_cast<std::size_t>(sx) * 4];
            const auto avg = [&](int c) { return (s[c] + n / 2) / n; };
            small_.push_back(avg(0) | avg(1) << 8 | avg(2) << 16 | avg(3) << 24);
        }
        std::fill(sums_.begin(), sums_.end(), 0);
        gathered_ = 0;
    }
}

std::optional<Raster> ReusingPainter::Sheet(const std::vector<int>& cuts) const {
    if (height_ <= 0 || next_ < height_ || smallWidth_ <= 0) return std::nullopt;
    const int smallHeight = static_cast<int>(small_.size() / static_cast<std::size_t>(smallWidth_));
    // The pieces' edges in the copy's rows, each piece at least a row.
    std::vector<int> edges{0};
    for (const int c : cuts)
        if (c > 0 && c < height_) edges.push_back(std::max(edges.back() + 1, static_cast<int>(std::lround(static_cast<double>(c) / shrink_))));
    edges.push_back(std::max(edges.back() + 1, smallHeight));
    std::vector<int> heights;
    for (std::size_t i = 1; i < edges.size(); ++i) heights.push_back(edges[i] - edges[i - 1]);
    ContactSheet sheet(smallWidth_, heights, sheetSide_);
    for (std::size_t i = 0; i < heights.size(); ++i) {
        Raster piece{smallWidth_, heights[i], {}};
        piece.pixels.reserve(static_cast<std::size_t>(smallWidth_) * static_cast<std::size_t>(heights[i]));
        for (int y = edges[i]; y < edges[i + 1]; ++y) {
            const auto row = small_.begin() + static_cast<std::ptrdiff_t>(std::min(y, smallHeight - 1)) * smallWidth_;
            piece.pixels.insert(piece.pixels.end(), row, row + smallWidth_);
        }
        if (!sheet.Add(i, piece)) return std::nullopt;
    }
    return sheet.Finish();
}

}  // namespace mojian::mobile
