#include "html/PictureScaling.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace mojian::html {

namespace {

// Weights are 8-bit fixed point summing to 256, so that two colour channels
// of a pixel (0x00RR00BB and 0x00AA00GG) are blended in one 32-bit multiply
// each without one spilling into the other.
constexpr int kOne = 256;

// How each output column (or row) reads the source: its first source index
// and the weights of the source indices from there.
struct Taps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::size_t> offset;
    std::vector<std::uint32_t> weights;
};

// Outputs begin to end - 1 of `to` (all of them by default), indexed from begin.
Taps MakeTaps(int from, int to, int begin = 0, int end = -1) {
    if (end < 0) end = to;
    Taps t;
    const auto n = static_cast<std::size_t>(end - begin);
    t.first.resize(n);
    t.count.resize(n);
    t.offset.resize(n);
    const double scale = static_cast<double>(from) / to;
    std::vector<double> w;
    for (int i = begin; i < end; ++i) {
        w.clear();
        int s0;
        if (scale >= 1.0) {
            // Shrinking: the source span [i * scale, (i + 1) * scale), each pixel by its coverage.
            const double a = i * scale, b = std::min<double>(from, (i + 1) * scale);
            s0 = static_cast<int>(std::floor(a));
            const int s1 = std::min(from - 1, static_cast<int>(std::ceil(b)) - 1);
            for (int s = s0; s <= s1; ++s) w.push_back(std::max(0.0, std::min<double>(b, s + 1) - std::max<double>(a, s)) / (b - a));
        } else {
            // Enlarging: between the two source pixels whose centres surround this one's.
            const double centre = (i + 0.5) * scale - 0.5;
            s0 = static_cast<int>(std::floor(centre));
            double frac = centre - s0;
            if (s0 < 0) {
                s0 = 0;
                frac = 0;
            }
            if (s0 >= from - 1) {
                s0 = from - 1;
                frac = 0;
            }
            w.push_back(1 - frac);
            if (frac > 0) w.push_back(frac);
        }
        // To fixed point, the rounding error given to the heaviest weight so they sum to exactly 256.
        const auto ix = static_cast<std::size_t>(i - begin);
        t.first[ix] = s0;
        t.offset[ix] = t.weights.size();
        int sum = 0, heaviest = 0;
        for (std::size_t k = 0; k < w.size(); ++k) {
            const int q = static_cast<int>(std::lround(w[k] * kOne));
            t.weights.push_back(static_cast<std::uint32_t>(q));
            sum += q;
            if (w[k] > w[static_cast<std::size_t>(heaviest)]) heaviest = static_cast<int>(k);
        }
        t.weights[t.offset[ix] + static_cast<std::size_t>(heaviest)] =
            static_cast<std::uint32_t>(static_cast<int>(t.weights[t.offset[ix] + static_cast<std::size_t>(heaviest)]) +
                                       kOne - sum);
        t.count[ix] = static_cast<int>(w.size());
    }
    return t;
}

// One pixel blended from `count` pixels `step` apart, two channels at a time.
inline std::uint32_t Blend(const std::uint32_t* p, std::size_t step, const std::uint32_t* w, int count) {
    std::uint32_t rb = 0, ag = 0;
    for (int k = 0; k < count; ++k) {
        const std::uint32_t v = p[static_cast<std::size_t>(k) * step];
        rb += (v & 0x00FF00FFu) * w[k];
        ag += ((v >> 8) & 0x00FF00FFu) * w[k];
    }
    return ((rb >> 8) & 0x00FF00FFu) | (ag & 0xFF00FF00u);
}

// The source rows a scaling reads, in order down the picture: the picture's
// own, or those its decoder holds, read a window at a time so that the
// rows of a picture kept only by its decoder are never copied whole.
class SourceRows {
public:
    explicit SourceRows(const Picture& p) : p_(p) {}

    // Rows first to first + count - 1, contiguous; null when the decoder fails.
    const std::uint32_t* Get(int first, int count) {
        const auto stride = static_cast<std::size_t>(p_.width);
        if (!p_.pixels.empty()) return p_.pixels.data() + static_cast<std::size_t>(first) * stride;
        if (first < top_ || first + count > top_ + held_) {
            constexpr int kWindowRows = 64;
            const int rows = std::min(p_.height - first, std::max(count, kWindowRows));
            window_.resize(static_cast<std::size_t>(rows) * stride);
            if (!p_.rows->Read(first, rows, window_.data())) return nullptr;
            top_ = first;
            held_ = rows;
        }
        return window_.data() + static_cast<std::size_t>(first - top_) * stride;
    }

private:
    const Picture& p_;
    std::vector<std::uint32_t> window_;
    int top_ = 0, held_ = 0;
};

}  // namespace

Picture ScalePicture(const Picture& source, int width, int height) {
    return ScalePictureRows(source, width, height, 0, height);
}

Picture ScalePictureRows(const Picture& source, int width, int height, int top, int rows) {
    Picture out;
    const int sw = source.width, sh = source.height;
    if (!source.Whole() || width <= 0 || height <= 0 || top < 0 || rows <= 0 || rows > height - top ||
        static_cast<long long>(width) * rows > kMaxScaledPixels)
        return out;
    out.width = width;
    out.height = rows;
    const auto stride = static_cast<std::size_t>(sw);
    if (width == sw && height == sh) {
        if (source.pixels.empty()) {
            out.pixels.resize(static_cast<std::size_t>(rows) * stride);
            if (!source.rows->Read(top, rows, out.pixels.data())) return Picture{};
        } else {
            const auto from = source.pixels.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(top) * stride);
            out.pixels.assign(from, from + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(rows) * stride));
        }
        return out;
    }
    SourceRows in(source);
    const Taps across = MakeTaps(sw, width), down = MakeTaps(sh, height, top, top + rows);
    // Each output row: the source rows it covers blended into one row, then
    // that row's pixels blended across.
    std::vector<std::uint32_t> row(stride);
    out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
    for (int y = top; y < top + rows; ++y) {
        const auto iy = static_cast<std::size_t>(y - top);
        const std::uint32_t* wy = down.weights.data() + down.offset[iy];
        const std::uint32_t* src = in.Get(down.first[iy], down.count[iy]);
        if (!src) return Picture{};
        if (down.count[iy] == 1) {
            std::copy(src, src + stride, row.begin());
        } else {
            for (std::size_t x = 0; x < stride; ++x) row[x] = Blend(src + x, stride, wy, down.count[iy]);
        }
        std::uint32_t* dst = out.pixels.data() + static_cast<std::size_t>(y - top) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            const auto ix = static_cast<std::size_t>(x);
            dst[ix] = Blend(row.data() + across.first[ix], 1, across.weights.data() + across.offset[ix], across.count[ix]);
        }
    }
    return out;
}

Picture TileBlock(const Picture& tile, int side) {
    if (tile.width <= 0 || tile.height <= 0) return tile;
    const int across = std::max(1, (side + tile.width - 1) / tile.width);
    const int down = std::max(1, (side + tile.height - 1) / tile.height);
    if (across == 1 && down == 1) return tile;
    Picture block;
    block.width = tile.width * across;
    block.height = tile.height * down;
    block.pixels.resize(static_cast<std::size_t>(block.width) * static_cast<std::size_t>(block.height));
    for (int y = 0; y < block.height; ++y) {
        const std::uint32_t* row = tile.pixels.data() + static_cast<std::size_t>(y % tile.height) * static_cast<std::size_t>(tile.width);
        std::uint32_t* out = block.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(block.width);
        for (int c = 0; c < across; ++c) std::copy(row, row + tile.width, out + static_cast<std::size_t>(c) * static_cast<std::size_t>(tile.width));
    }
    return block;
}

ResampleQueue::ResampleQueue(std::function<void()> ready, int tileSide)
    : ready_(std::move(ready)), tileSide_(tileSide) {}

ResampleQueue::~ResampleQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        waiting_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ResampleQueue::Request(Job job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Job& j : waiting_)
            if (j == job) return;
        for (const Job& j : inHand_)
            if (j == job) return;
        // Made already and not taken yet: asking again before the window
        // took it must not make it twice.
        for (const Done& d : done_)
            if (d.job == job) return;
        waiting_.push_back(std::move(job));
        // The thread starts with the first job: a page without scaled
        // pictures never pays for its stack (Wine commits it whole).
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

std::vector<ResampleQueue::Done> ResampleQueue::TakeDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(done_, {});
}

void ResampleQueue::DropWaiting() {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.clear();
}

void ResampleQueue::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) return;
        inHand_.assign(1, std::move(waiting_.front()));
        waiting_.pop_front();
        const Job job = inHand_.front();
        lock.unlock();
        Picture picture;
        if (job.source) {
            picture = ScalePicture(*job.source, job.width, job.height);
            if (job.tile && !picture.pixels.empty()) picture = TileBlock(picture, tileSide_);
        }
        lock.lock();
        inHand_.clear();
        if (stopping_) return;
        done_.push_back({job, std::move(picture)});
        lock.unlock();
        if (ready_) ready_();
        lock.lock();
    }
}

bool IsOpaque(const Picture& picture) {
    return std::all_of(picture.pixels.begin(), picture.pixels.end(), [](std::uint32_t p) { return (p >> 24) == 0xff; });
}

}  // namespace mojian::html
