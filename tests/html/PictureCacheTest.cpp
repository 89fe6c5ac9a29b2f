#include "html/PictureCache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mojian::html {
namespace {

using State = PictureInfo::State;
using Phase = PictureDetails::Phase;

std::shared_ptr<const Picture> Pixels(int w, int h) {
    auto p = std::make_shared<Picture>();
    p->width = w;
    p->height = h;
    p->pixels.assign(static_cast<std::size_t>(w) * h, 0xFF000000u);
    return p;
}

PictureResult Ready(int w, int h) {
    PictureResult r;
    r.natural = {w, h};
    r.pixels = Pixels(w, h);
    return r;
}

PictureResult Failure(PictureFailure why) {
    PictureResult r;
    r.failure = why;
    return r;
}

std::string Url(int i) { return "http://h.cn/" + std::to_string(i) + ".png"; }

// Runs every queued load to completion with `result`, in the order handed out.
std::vector<std::string> RunAll(PictureCache& cache, const PictureResult& result) {
    std::vector<std::string> order;
    while (auto job = cache.TakeJob()) {
        order.push_back(job->url);
        cache.Finish(*job, result);
    }
    return order;
}

TEST(PictureCache, AnAddressLoadsOnceAndThenAnswersFromMemory) {
    PictureCache cache({});
    const PictureInfo first = cache.Query("http://h.cn/a.png");
    EXPECT_EQ(first.state, State::Loading);
    EXPECT_EQ(cache.Query("http://h.cn/a.png").state, State::Loading);
    EXPECT_EQ(cache.Pixels("http://h.cn/a.png"), nullptr);

    auto job = cache.TakeJob();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->url, "http://h.cn/a.png");
    EXPECT_EQ(job->address.kind, PictureAddress::Kind::Http);
    EXPECT_FALSE(job->reload);
    EXPECT_FALSE(cache.TakeJob()) << "asked twice, loaded once";
    EXPECT_EQ(cache.Query("http://h.cn/a.png").state, State::Loading);
    EXPECT_EQ(cache.Describe("http://h.cn/a.png").phase, Phase::Running);

    cache.Finish(*job, Ready(30, 20));
    const PictureInfo done = cache.Query("http://h.cn/a.png");
    EXPECT_EQ(done.state, State::Ready);
    EXPECT_EQ(done.width, 30);
    EXPECT_EQ(done.height, 20);
    const auto pixels = cache.Pixels("http://h.cn/a.png");
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->width, 30);
    EXPECT_EQ(cache.TakeChanged(), std::vector<std::string>{"http://h.cn/a.png"});
    EXPECT_TRUE(cache.TakeChanged().empty());
    EXPECT_FALSE(cache.TakeJob());
}

TEST(PictureCache, FailuresAreFinalAndBadAddressesFailAtOnce) {
    PictureCache cache({});
    EXPECT_EQ(cache.Query("images/a.png").state, State::Failed);
    EXPECT_EQ(cache.Describe("images/a.png").failure, PictureFailure::BadAddress);
    EXPECT_FALSE(cache.HasJobs());
    EXPECT_FALSE(cache.HasChanges()) << "layout saw the failure already";

    cache.Query(Url(1));
    auto job = cache.TakeJob();
    PictureResult notFound = Failure(PictureFailure::HttpStatus);
    notFound.httpStatus = 404;
    cache.Finish(*job, notFound);
    EXPECT_EQ(cache.Query(Url(1)).state, State::Failed);
    EXPECT_EQ(cache.Describe(Url(1)).httpStatus, 404);
    EXPECT_EQ(cache.Pixels(Url(1)), nullptr);
    EXPECT_FALSE(cache.HasJobs()) << "a failed picture is not asked for again by itself";

    // A result without pixels is a failure whatever it says.
    cache.Query(Url(2));
    PictureResult empty;
    empty.natural = {5, 5};
    cache.Finish(*cache.TakeJob(), empty);
    EXPECT_EQ(cache.Query(Url(2)).state, State::Failed);

    // Trying again on request.
    cache.ForgetFailed();
    EXPECT_EQ(cache.Query(Url(1)).state, State::Loading);
    EXPECT_EQ(cache.Query("images/a.png").state, State::Failed);
    EXPECT_EQ(RunAll(cache, Ready(1, 1)), std::vector<std::string>{Url(1)});
}

TEST(PictureCache, LoadsRunInTheOrderAskedWithReloadsFirst) {
    PictureCache::Bounds bounds;
    bounds.decodedBytes = 2 * 100 * 4;  // room for two 10 x 10 pictures
    PictureCache cache(bounds);
    for (int i = 0; i < 3; ++i) cache.Query(Url(i));
    EXPECT_EQ(RunAll(cache, Ready(10, 10)), (std::vector<std::string>{Url(0), Url(1), Url(2)}));
    ASSERT_EQ(cache.Describe(Url(0)).decoded, (PixelSize{0, 0})) << "the oldest went to make room";

    cache.Query(Url(3));
    cache.Query(Url(4));
    cache.Pixels(Url(0));  // painting needs it back: ahead of the new ones
    cache.Pixels(Url(0));
    auto order = RunAll(cache, Ready(10, 10));
    EXPECT_EQ(order, (std::vector<std::string>{Url(0), Url(3), Url(4)}));
}

TEST(PictureCache, DecodedPixelsStayWithinTheirBound) {
    PictureCache::Bounds bounds;
    bounds.decodedBytes = 1000;
    PictureCache cache(bounds);
    // 10 x 10 pictures take 400 bytes: two fit.
    for (int i = 0; i < 3; ++i) cache.Query(Url(i));
    auto a = cache.TakeJob(), b = cache.TakeJob(), c = cache.TakeJob();
    cache.Finish(*a, Ready(10, 10));
    cache.Finish(*b, Ready(10, 10));
    ASSERT_NE(cache.Pixels(Url(0)), nullptr);  // painted: now the most recent
    cache.Finish(*c, Ready(10, 10));
    EXPECT_LE(cache.Stats().decodedBytes, 1000u);
    EXPECT_EQ(cache.Stats().decodedPictures, 2u);
    EXPECT_NE(cache.Pixels(Url(0)), nullptr);
    EXPECT_NE(cache.Pixels(Url(2)), nullptr);
    cache.TakeChanged();

    // The evicted one keeps its place on the page and comes back when painted.
    const PictureInfo evicted = cache.Query(Url(1));
    EXPECT_EQ(evicted.state, State::Ready);
    EXPECT_EQ(evicted.width, 10);
    EXPECT_EQ(cache.Describe(Url(1)).decoded, (PixelSize{0, 0}));
    EXPECT_EQ(cache.Pixels(Url(1)), nullptr);
    EXPECT_EQ(cache.Pixels(Url(1)), nullptr);
    auto reload = cache.TakeJob();
    ASSERT_TRUE(reload);
    EXPECT_TRUE(reload->reload);
    EXPECT_FALSE(cache.TakeJob()) << "asked twice, reloaded once";
    EXPECT_EQ(cache.Query(Url(1)).state, State::Ready) << "still Ready while it reloads";
    cache.Finish(*reload, Ready(10, 10));
    EXPECT_NE(cache.Pixels(Url(1)), nullptr);
    EXPECT_EQ(cache.TakeChanged(), std::vector<std::string>{Url(1)}) << "painting must learn it is back";
    EXPECT_LE(cache.Stats().decodedBytes, 1000u);

    // A picture that cannot be had again is a broken picture now.
    cache.Query(Url(9));
    cache.Finish(*cache.TakeJob(), Ready(10, 10));
    ASSERT_EQ(cache.Pixels(Url(0)), nullptr);
    cache.Finish(*cache.TakeJob(), Failure(PictureFailure::Network));
    EXPECT_EQ(cache.Query(Url(0)).state, State::Failed);
    EXPECT_LE(cache.Stats().decodedBytes, 1000u);
}

TEST(PictureCache, RemembersABoundedNumberOfAddresses) {
    PictureCache::Bounds bounds;
    bounds.addresses = 3;
    PictureCache cache(bounds);
    for (int i = 0; i < 3; ++i) cache.Query(Url(i));
    auto running = cache.TakeJob();  // Url(0) is being loaded
    RunAll(cache, Ready(1, 1));      // Url(1), Url(2) are Ready

    // New addresses push out the settled ones least recently asked; the one
    // being loaded stays, and its result still counts.
    cache.Query(Url(2));
    cache.Query(Url(3));
    EXPECT_EQ(cache.Stats().addresses, 3u);
    EXPECT_EQ(cache.Describe(Url(1)).phase, Phase::Unknown);
    EXPECT_EQ(cache.Describe(Url(2)).phase, Phase::Ready);
    cache.Query(Url(4));
    EXPECT_EQ(cache.Stats().addresses, 3u);
    EXPECT_EQ(cache.Describe(Url(0)).phase, Phase::Running);
    EXPECT_EQ(cache.Describe(Url(2)).phase, Phase::Unknown);
    cache.Finish(*running, Ready(7, 7));
    EXPECT_EQ(cache.Query(Url(0)).width, 7);

    // With nothing settled to forget, queued addresses go (asked again, they queue again).
    for (int i = 10; i < 20; ++i) cache.Query(Url(i));
    EXPECT_LE(cache.Stats().addresses, 3u);
    EXPECT_EQ(cache.Stats().queued, 3u);
    EXPECT_EQ(RunAll(cache, Ready(1, 1)), (std::vector<std::string>{Url(17), Url(18), Url(19)}));
}

TEST(PictureCache, DroppingTheQueueLeavesLoadsInProgress) {
    PictureCache cache({});
    for (int i = 0; i < 5; ++i) cache.Query(Url(i));
    auto running = cache.TakeJob();
    cache.DropQueued();
    EXPECT_FALSE(cache.HasJobs());
    EXPECT_EQ(cache.Stats().queued, 0u);
    EXPECT_EQ(cache.Describe(Url(3)).phase, Phase::Unknown);
    cache.Finish(*running, Ready(2, 2));
    EXPECT_EQ(cache.Query(Url(0)).state, State::Ready);
    EXPECT_EQ(cache.Query(Url(3)).state, State::Loading) << "asked again, queued again";
    EXPECT_EQ(RunAll(cache, Ready(1, 1)), std::vector<std::string>{Url(3)});
}

TEST(PictureCache, ChangesAreListedOnceInTheOrderTheyHappened) {
    PictureCache::Bounds bounds;
    bounds.decodedBytes = 4;  // one 1 x 1 picture
    PictureCache cache(bounds);
    cache.Query(Url(0));
    cache.Query(Url(1));
    auto a = cache.TakeJob(), b = cache.TakeJob();
    cache.Finish(*b, Ready(1, 1));
    cache.Finish(*a, Ready(1, 1));
    cache.Pixels(Url(1));  // evicted by Url(0): reload
    cache.Finish(*cache.TakeJob(), Ready(1, 1));
    EXPECT_EQ(cache.TakeChanged(), (std::vector<std::string>{Url(1), Url(0)}));
}

}  // namespace
}  // namespace mojian::html
