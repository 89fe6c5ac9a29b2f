#include "mobile/ReusingPainter.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "mobile/ContactSheet.h"

namespace mojian::mobile {

namespace {
constexpr int kChunkRows = 256;
}

bool ReusingPainter::Rows::Append(const std::uint32_t* rows, int n) {
    const std::size_t w = static_cast<std::size_t>(width);
    try {
        while (n > 0) {
            if (count % kChunkRows == 0) {
                chunks.emplace_back();
                chunks.back().reserve(w * kChunkRows);
            }
            const int take = std::min(n, kChunkRows - count % kChunkRows);
            chunks.back().insert(chunks.back().end(), rows, rows + static_cast<std::size_t>(take) * w);
            rows += static_cast<std::size_t>(take) * w;
            count += take;
            n -= take;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

const std::uint32_t* ReusingPainter::Rows::Row(int y) const {
    return chunks[static_cast<std::size_t>(y / kChunkRows)].data() + static_cast<std::size_t>(y % kChunkRows) * static_cast<std::size_t>(width);
}

ReusingPainter::ReusingPainter(PagePainter& inner, int sheetSide)
    : inner_(inner), width_(std::max(0, inner.Width())), height_(std::max(0, inner.Height())), sheetSide_(sheetSide) {
    // The sheet shows the page at about sheetSide / sqrt(area) of its size;
    // the copy is kept about that big, shrunk by a whole factor: up to a
    // quarter smaller (the sheet enlarges it that little) rather than
    // bigger, which on a long page at 1,242 would take tens of megabytes.
    const double area = std::max(1.0, static_cast<double>(width_) * static_cast<double>(height_));
    const double scale = std::min(1.0, std::max(1, sheetSide) / std::sqrt(area));
    shrink_ = std::max(1, static_cast<int>(1.25 / scale));
    smallWidth_ = (width_ + shrink_ - 1) / shrink_;
    sums_.assign(static_cast<std::size_t>(smallWidth_) * 4, 0);
    small_.width = smallWidth_;
}

bool ReusingPainter::Paint(int top, Raster& band) {
    if (!inner_.Paint(top, band)) return false;
    // The copy grows from the bands painted in order from the top.
    if (band.width == width_ && top == next_ &&
        band.pixels.size() == static_cast<std::size_t>(band.height) * static_cast<std::size_t>(width_))
        AddToCopy(band);
    return true;
}

void ReusingPainter::AddToCopy(const Raster& band) {
    if (shrink_ == 1) {
        copyFailed_ = copyFailed_ || !small_.Append(band.pixels.data(), band.height);
        next_ += band.height;
        return;
    }
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
            row_.push_back(avg(0) | avg(1) << 8 | avg(2) << 16 | avg(3) << 24);
        }
        copyFailed_ = copyFailed_ || !small_.Append(row_.data(), 1);
        row_.clear();
        std::fill(sums_.begin(), sums_.end(), 0);
        gathered_ = 0;
    }
}

std::optional<Raster> ReusingPainter::Sheet(const std::vector<int>& cuts) const {
    if (height_ <= 0 || next_ < height_ || smallWidth_ <= 0 || copyFailed_ || small_.count == 0) return std::nullopt;
    const int smallHeight = small_.count;
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
            const std::uint32_t* row = small_.Row(std::min(y, smallHeight - 1));
            piece.pixels.insert(piece.pixels.end(), row, row + smallWidth_);
        }
        if (!sheet.Add(i, piece)) return std::nullopt;
    }
    return sheet.Finish();
}

}  // namespace mojian::mobile
