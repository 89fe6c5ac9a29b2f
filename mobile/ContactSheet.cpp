#include "mobile/ContactSheet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>

#include "html/PictureScaling.h"

namespace mojian::mobile {

namespace {

constexpr int kGap = 12;  // grey between columns and around them
constexpr std::uint32_t kGrey = 0xFFD8D8D8, kWhite = 0xFFFFFFFF, kRed = 0xFFE0201C;
constexpr int kDigitScale = 3;  // the 3 x 5 digits below, drawn three times their size

// Digits 0-9 as 3 x 5 dots, a row per three bits (top row first).
constexpr std::array<std::array<std::uint8_t, 5>, 10> kDigits{{
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
}};

void FillRect(Raster& r, int x, int y, int w, int h, std::uint32_t colour) {
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(r.width, x + w), y1 = std::min(r.height, y + h);
    for (int yy = y0; yy < y1; ++yy)
        std::fill_n(r.pixels.begin() + static_cast<std::ptrdiff_t>(yy) * r.width + x0, std::max(0, x1 - x0), colour);
}

// The piece's number in white on a red tag whose top left is (x, y).
void DrawNumber(Raster& r, int x, int y, int number) {
    const std::string text = std::to_string(number);
    const int digitW = 3 * kDigitScale, digitH = 5 * kDigitScale, pad = kDigitScale;
    const int w = static_cast<int>(text.size()) * (digitW + kDigitScale) - kDigitScale + 2 * pad;
    FillRect(r, x, y, w, digitH + 2 * pad, kRed);
    int cx = x + pad;
    for (char c : text) {
        const auto& rows = kDigits[static_cast<std::size_t>(c - '0')];
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col)
                if (rows[static_cast<std::size_t>(row)] & (4 >> col))
                    FillRect(r, cx + col * kDigitScale, y + pad + row * kDigitScale, kDigitScale, kDigitScale, kWhite);
        cx += digitW + kDigitScale;
    }
}

// The fewest columns' tallest column when `heights` in order are split into
// at most `count` columns of consecutive pieces: the smallest limit the
// greedy split fits under.
std::vector<std::vector<std::size_t>> Split(const std::vector<int>& heights, int count) {
    auto greedy = [&](long long limit) {
        std::vector<std::vector<std::size_t>> columns(1);
        long long used = 0;
        for (std::size_t i = 0; i < heights.size(); ++i) {
            if (!columns.back().empty() && used + heights[i] > limit) {
                columns.emplace_back();
                used = 0;
            }
            columns.back().push_back(i);
            used += heights[i];
        }
        return columns;
    };
    long long lo = *std::max_element(heights.begin(), heights.end());
    long long hi = std::accumulate(heights.begin(), heights.end(), 0LL);
    while (lo < hi) {
        const long long mid = lo + (hi - lo) / 2;
        if (static_cast<int>(greedy(mid).size()) <= count) hi = mid;
        else lo = mid + 1;
    }
    return greedy(lo);
}

}  // namespace

ContactSheet::ContactSheet(int pieceWidth, std::vector<int> heights, int maxSide)
    : pieceWidth_(std::max(1, pieceWidth)), heights_(std::move(heights)) {
    for (int& h : heights_) h = std::max(1, h);
    maxSide = std::max(4 * kGap, maxSide);
    if (heights_.empty()) {
        sheet_ = Raster{2 * kGap, 2 * kGap, std::vector<std::uint32_t>(4u * kGap * kGap, kGrey)};
        return;
    }
    // The number of columns that shows the pieces biggest within the bound.
    const int room = maxSide - kGap;
    scale_ = -1;
    for (int count = 1; count <= static_cast<int>(heights_.size()); ++count) {
        auto columns = Split(heights_, count);
        const int n = static_cast<int>(columns.size());
        if (n < count) break;  // no more columns to gain
        long long tallest = 0;
        for (const auto& column : columns) {
            long long h = 0;
            for (std::size_t i : column) h += heights_[i];
            tallest = std::max(tallest, h);
        }
        const double across = static_cast<double>(room - n * kGap) / (static_cast<double>(n) * pieceWidth_);
        const double down = static_cast<double>(room - kGap) / static_cast<double>(tallest);
        const double s = std::min({1.0, across, down});
        if (s > scale_) {
            scale_ = s;
            columns_ = std::move(columns);
        }
    }
    scale_ = std::max(scale_, 1e-4);
    // Rounded down: the columns never push the sheet past its bound.
    const int columnWidth = std::max(1, static_cast<int>(pieceWidth_ * scale_ + 1e-9));
    places_.resize(heights_.size());
    int sheetHeight = 0;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        long long top = 0;  // in the pieces' rows, so rounding never opens a gap between pieces
        for (std::size_t i : columns_[c]) {
            Place& p = places_[i];
            p.x = kGap + static_cast<int>(c) * (columnWidth + kGap);
            p.y = kGap + static_cast<int>(std::lround(static_cast<double>(top) * scale_));
            top += heights_[i];
            p.height = std::max(1, kGap + static_cast<int>(std::lround(static_cast<double>(top) * scale_)) - p.y);
            p.width = columnWidth;
            sheetHeight = std::max(sheetHeight, p.y + p.height + kGap);
        }
    }
    const int sheetWidth = kGap + static_cast<int>(columns_.size()) * (columnWidth + kGap);
    sheet_.width = sheetWidth;
    sheet_.height = sheetHeight;
    sheet_.pixels.assign(static_cast<std::size_t>(sheetWidth) * static_cast<std::size_t>(sheetHeight), kGrey);
    for (const Place& p : places_) FillRect(sheet_, p.x, p.y, p.width, p.height, kWhite);
}

bool ContactSheet::Add(std::size_t index, const Raster& piece) {
    if (index >= heights_.size() || piece.width != pieceWidth_ || piece.height != heights_[index] ||
        piece.pixels.size() != static_cast<std::size_t>(piece.width) * static_cast<std::size_t>(piece.height))
        return false;
    const Place& p = places_[index];
    const Raster small = html::ScalePicture(piece, p.width, p.height);
    if (small.pixels.empty()) return false;
    for (int y = 0; y < p.height; ++y)
        std::copy_n(small.pixels.begin() + static_cast<std::ptrdiff_t>(y) * p.width, p.width,
                    sheet_.pixels.begin() + static_cast<std::ptrdiff_t>(p.y + y) * sheet_.width + p.x);
    return true;
}

Raster ContactSheet::Finish() const {
    Raster out = sheet_;
    for (const auto& column : columns_)
        for (std::size_t k = 0; k < column.size(); ++k) {
            const Place& p = places_[column[k]];
            // The cut above every piece but a column's first: two rows
            // straddling the boundary, out past the column on both sides.
            if (k > 0) FillRect(out, p.x - kGap / 3, p.y - 1, p.width + 2 * (kGap / 3), 2, kRed);
            DrawNumber(out, p.x + 2, p.y + 2, static_cast<int>(column[k]) + 1);
        }
    return out;
}

Raster MakeContactSheet(const std::vector<Raster>& pieces, int maxSide) {
    if (pieces.empty()) return ContactSheet(1, {}, maxSide).Finish();
    std::vector<int> heights;
    for (const Raster& piece : pieces) heights.push_back(piece.height);
    ContactSheet sheet(pieces.front().width, heights, maxSide);
    for (std::size_t i = 0; i < pieces.size(); ++i) sheet.Add(i, pieces[i]);
    return sheet.Finish();
}

}  // namespace mojian::mobile
