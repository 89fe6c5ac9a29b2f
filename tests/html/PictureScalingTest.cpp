#include "html/PictureScaling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace mojian::html {
namespace {

Picture Row(std::vector<std::uint32_t> pixels) {
    Picture p;
    p.width = static_cast<int>(pixels.size());
    p.height = 1;
    p.pixels = std::move(pixels);
    return p;
}

constexpr std::uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF;

int Channel(std::uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xff); }

TEST(PictureScaling, ShrinkingAveragesTheAreaEachPixelCovers) {
    const Picture halved = ScalePicture(Row({kRed, kRed, kBlue, kBlue}), 2, 1);
    ASSERT_EQ(halved.pixels.size(), 2u);
    EXPECT_EQ(halved.pixels[0], kRed);
    EXPECT_EQ(halved.pixels[1], kBlue);
    // Three to two: the middle pixel is split between both.
    const Picture thirds = ScalePicture(Row({kBlack, kWhite, kBlack}), 2, 1);
    EXPECT_NEAR(Channel(thirds.pixels[0], 16), 85, 1);  // (0 + 0.5 * 255) / 1.5
    EXPECT_NEAR(Channel(thirds.pixels[1], 16), 85, 1);
    // A fine stripe pattern becomes its average, not a pattern of its own.
    std::vector<std::uint32_t> stripes;
    for (int i = 0; i < 100; ++i) stripes.push_back(i % 2 ? kWhite : kBlack);
    for (std::uint32_t p : ScalePicture(Row(stripes), 7, 1).pixels) EXPECT_NEAR(Channel(p, 8), 128, 10);
}

TEST(PictureScaling, EnlargingInterpolatesBetweenNeighbours) {
    const Picture wide = ScalePicture(Row({kBlack, kWhite}), 8, 3);
    ASSERT_EQ(wide.width, 8);
    ASSERT_EQ(wide.height, 3);
    EXPECT_EQ(wide.pixels[0], kBlack);
    EXPECT_EQ(wide.pixels[7], kWhite);
    for (int x = 1; x < 8; ++x) EXPECT_GE(Channel(wide.pixels[x], 0), Channel(wide.pixels[x - 1], 0));
    EXPECT_EQ(wide.pixels[8 * 2 + 3], wide.pixels[3]);  // every row alike
    Picture one = Row({kRed});
    for (std::uint32_t p : ScalePicture(one, 5, 4).pixels) EXPECT_EQ(p, kRed);
}

TEST(PictureScaling, TransparencyStaysPremultipliedAndOddRequestsGiveNothing) {
    const Picture edge = ScalePicture(Row({0x00000000, kRed, kRed, 0x00000000}), 3, 2);
    for (std::uint32_t p : edge.pixels) {
        const int alpha = Channel(p, 24);
        for (int shift : {0, 8, 16}) EXPECT_LE(Channel(p, shift), alpha);
    }
    EXPECT_FALSE(IsOpaque(edge));
    EXPECT_TRUE(IsOpaque(Row({kRed, kBlue})));
    const Picture same = ScalePicture(Row({kRed, kBlue}), 2, 1);
    EXPECT_EQ(same.pixels, (std::vector<std::uint32_t>{kRed, kBlue}));
    EXPECT_TRUE(ScalePicture(Row({kRed}), 0, 5).pixels.empty());
    EXPECT_TRUE(ScalePicture(Row({kRed}), 100000, 100000).pixels.empty());  // beyond the bound
    EXPECT_TRUE(ScalePicture(Picture{}, 5, 5).pixels.empty());
    Picture shortOfPixels = Row({kRed});
    shortOfPixels.width = 4;
    EXPECT_TRUE(ScalePicture(shortOfPixels, 2, 1).pixels.empty());
}

// A tall picture is drawn a band at a time: the bands stacked must be the
// picture scaled whole, row for row, whether it shrinks, grows or keeps its size.
TEST(PictureScaling, BandsOfRowsAreTheRowsOfThePictureScaledWhole) {
    Picture source;
    source.width = 7;
    source.height = 23;
    for (int i = 0; i < source.width * source.height; ++i)
        source.pixels.push_back(0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u >> 8));
    for (const auto& [w, h] : {std::pair{3, 9}, std::pair{12, 38}, std::pair{7, 23}, std::pair{5, 40}}) {
        const Picture whole = ScalePicture(source, w, h);
        std::vector<std::uint32_t> stacked;
        for (int top = 0; top < h; top += 4) {
            const Picture band = ScalePictureRows(source, w, h, top, std::min(4, h - top));
            ASSERT_EQ(band.width, w);
            stacked.insert(stacked.end(), band.pixels.begin(), band.pixels.end());
        }
        EXPECT_EQ(stacked, whole.pixels) << w << " x " << h;
    }
    EXPECT_TRUE(ScalePictureRows(source, 3, 9, 7, 3).pixels.empty()) << "rows past the bottom";
    EXPECT_TRUE(ScalePictureRows(source, 3, 9, -1, 2).pixels.empty());
    EXPECT_TRUE(ScalePictureRows(source, 3, 9, 2, 0).pixels.empty());
}

// Rows kept by a decoder, as a long banner's are: read as asked, counted.
struct HeldElsewhere : PictureRows {
    explicit HeldElsewhere(const Picture& held) : p(held) {}
    bool Read(int top, int count, std::uint32_t* out) const override {
        largestRead = std::max(largestRead, count);
        std::copy_n(p.pixels.begin() + static_cast<std::ptrdiff_t>(top) * p.width, std::size_t(count) * p.width, out);
        return !failing;
    }
    std::size_t Bytes() const override { return 0; }
    const Picture& p;
    mutable int largestRead = 0;
    bool failing = false;
};

// A picture read from its decoder scales to exactly what the same picture
// held whole gives, reading a few rows at a time when it is scaled.
TEST(PictureScaling, APictureReadFromItsDecoderScalesAsTheSamePictureHeld) {
    Picture held{5, 700, {}, {}};
    for (int i = 0; i < held.width * held.height; ++i)
        held.pixels.push_back(0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u >> 8));
    auto decoder = std::make_shared<HeldElsewhere>(held);
    const Picture streamed{5, 700, {}, decoder};
    for (const auto& [w, h] : {std::pair{3, 210}, std::pair{9, 1160}, std::pair{5, 700}}) {
        EXPECT_EQ(ScalePictureRows(streamed, w, h, h / 2, 40).pixels, ScalePictureRows(held, w, h, h / 2, 40).pixels);
        EXPECT_EQ(ScalePicture(streamed, w, h).pixels, ScalePicture(held, w, h).pixels) << w << " x " << h;
        if (w != held.width) {
            EXPECT_LT(decoder->largestRead, held.height / 4) << "scaled a window at a time";
        }
    }
    decoder->failing = true;
    EXPECT_TRUE(ScalePictureRows(streamed, 3, 210, 10, 20).pixels.empty()) << "the decoder failed";
    EXPECT_TRUE(ScalePictureRows(streamed, 5, 700, 10, 20).pixels.empty());
}

}  // namespace
}  // namespace mojian::html

namespace mojian::html {
namespace {

TEST(ResampleQueue, ResamplesOffTheCallersThreadOnceEachAndTellsWhenReady) {
    std::mutex m;
    std::condition_variable cv;
    int told = 0;
    auto source = std::make_shared<Picture>(Row({kRed, kRed, kBlue, kBlue}));
    {
        ResampleQueue queue([&] {
            std::lock_guard<std::mutex> lock(m);
            ++told;
            cv.notify_all();
        }, 8);
        queue.Request({"a.png", source, 2, 1, false});
        queue.Request({"a.png", source, 2, 1, false});  // the same again: not twice
        queue.Request({"b.png", source, 3, 1, true});   // a tile block at least 8 wide
        std::vector<ResampleQueue::Done> done;
        for (int i = 0; i < 500 && done.size() < 2; ++i) {
            std::unique_lock<std::mutex> lock(m);
            cv.wait_for(lock, std::chrono::milliseconds(20), [&] { return told >= 2; });
            lock.unlock();
            for (auto& d : queue.TakeDone()) done.push_back(std::move(d));
        }
        ASSERT_EQ(done.size(), 2u);
        EXPECT_EQ(done[0].job.url, "a.png");
        EXPECT_EQ(done[0].picture.pixels, (std::vector<std::uint32_t>{kRed, kBlue}));
        EXPECT_EQ(done[1].picture.width, 9);  // three copies of three pixels
        EXPECT_EQ(done[1].picture.height, 8);
        EXPECT_TRUE(queue.TakeDone().empty());
        queue.Request({"c.png", source, 50, 50, false});
        queue.DropWaiting();
    }  // going away while a job may be in hand ends cleanly
    EXPECT_LE(told, 3);
}

}  // namespace
}  // namespace mojian::html
