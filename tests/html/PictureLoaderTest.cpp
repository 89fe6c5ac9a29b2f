// The loader's threads against a scripted network and decoder: what runs
// where, how many at once, what is cut off, and what reaches the owner.
#include "html/PictureLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "tests/html/MemoryPictureStore.h"
#include "tests/html/TestPng.h"

namespace mojian::html {
namespace {

using State = PictureInfo::State;
using mojian::testing::MemoryPictureStore;

// Bytes the scripted decoder takes for a picture of that size.
std::string FakePicture(PixelSize size) {
    return "\x89PNG\r\n\x1a\n" + std::to_string(size.width) + " " + std::to_string(size.height);
}

// What the scripted network answers, and what it saw.
class FakeNet : public PictureBackend {
public:
    enum class Mode { Picture, Bytes, Fail, Hang, Stuck };

    void Serve(const std::string& target, PixelSize size) { Set(target, {Mode::Picture, FakePicture(size)}); }
    void ServeBytes(const std::string& target, std::string bytes) { Set(target, {Mode::Bytes, std::move(bytes)}); }
    void Fail(const std::string& target, PictureFailure why, int status = 0) {
        Set(target, {Mode::Fail, {}, why, status});
    }
    // Blocks until the loader aborts the fetch.
    void Hang(const std::string& target) { Set(target, {Mode::Hang}); }
    // Blocks, deaf to aborts, until Release().
    void Stick(const std::string& target) { Set(target, {Mode::Stuck}); }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    void RefuseNotices() {
        std::lock_guard<std::mutex> lock(mutex_);
        acceptNotices_ = false;
    }
    void AcceptNotices() {
        std::lock_guard<std::mutex> lock(mutex_);
        acceptNotices_ = true;
    }

    int Fetches(const std::string& target) { return Read([&] { return fetches_[target]; }); }
    int AllFetches() { return Read([&] { return allFetches_; }); }
    int Fetching() { return Read([&] { return fetching_; }); }
    int MostAtOnce() { return Read([&] { return mostAtOnce_; }); }
    int Decodes() { return Read([&] { return decodes_; }); }
    int Notices() { return Read([&] { return notices_; }); }
    int Refused() { return Read([&] { return refused_; }); }
    int WorkersAlive() { return Read([&] { return workersAlive_; }); }
    std::vector<PictureFailure> Aborts() { return Read([&] { return aborts_; }); }
    PictureAddress::Kind LastKind() { return Read([&] { return lastKind_; }); }

    std::unique_ptr<PictureWorker> StartWorker() override;
    bool Notify() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!acceptNotices_) {
            ++refused_;
            return false;
        }
        ++notices_;
        return true;
    }

    Fetched Fetch(const PictureAddress& address, FetchControl& control);
    Decoded Decode(std::string_view bytes, const DecodeLimits& limits);
    void WorkerEnded() { Read([&] { return --workersAlive_; }); }

private:
    struct Answer {
        Mode mode = Mode::Fail;
        std::string bytes;
        PictureFailure failure = PictureFailure::Network;
        int status = 0;
    };
    void Set(const std::string& target, Answer a) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_[target] = std::move(a);
    }
    template <class F>
    auto Read(F f) -> decltype(f()) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Answer> answers_;
    std::map<std::string, int> fetches_;
    int allFetches_ = 0, fetching_ = 0, mostAtOnce_ = 0, decodes_ = 0, notices_ = 0, refused_ = 0, workersAlive_ = 0;
    std::vector<PictureFailure> aborts_;
    PictureAddress::Kind lastKind_ = PictureAddress::Kind::Invalid;
    bool released_ = false;
    bool acceptNotices_ = true;
};

class FakeWorker : public PictureWorker {
public:
    explicit FakeWorker(FakeNet& net) : net_(net) {}
    ~FakeWorker() override { net_.WorkerEnded(); }
    Fetched Fetch(const PictureAddress& address, const DownloadLimits&, FetchControl& control) override {
        return net_.Fetch(address, control);
    }
    Decoded Decode(std::string_view bytes, const DecodeLimits& limits) override { return net_.Decode(bytes, limits); }

private:
    FakeNet& net_;
};

std::unique_ptr<PictureWorker> FakeNet::StartWorker() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++workersAlive_;
    return std::make_unique<FakeWorker>(*this);
}

Fetched FakeNet::Fetch(const PictureAddress& address, FetchControl& control) {
    std::unique_lock<std::mutex> lock(mutex_);
    ++fetches_[address.target];
    ++allFetches_;
    lastKind_ = address.kind;
    mostAtOnce_ = std::max(mostAtOnce_, ++fetching_);
    const Answer answer = answers_[address.target];
    Fetched f;
    switch (answer.mode) {
        case Mode::Picture:
        case Mode::Bytes: f.bytes = answer.bytes; break;
        case Mode::Fail:
            f.failure = answer.failure;
            f.httpStatus = answer.status;
            break;
        case Mode::Hang: {
            // The abort runs on the loader's thread, as a handle's closing would.
            auto aborted = std::make_shared<bool>(false);
            lock.unlock();
            control.OnAbort([this, aborted] {
                std::lock_guard<std::mutex> l(mutex_);
                *aborted = true;
                changed_.notify_all();
            });
            lock.lock();
            changed_.wait(lock, [&] { return *aborted; });
            lock.unlock();
            EXPECT_TRUE(control.ClearAbort());
            const PictureFailure reason = control.Reason();
            lock.lock();
            aborts_.push_back(reason);
            f.failure = PictureFailure::Network;  // what a closed handle makes of a read
            break;
        }
        case Mode::Stuck:
            changed_.wait(lock, [&] { return released_; });
            f.bytes = FakePicture({1, 1});
            break;
    }
    --fetching_;
    return f;
}

Decoded FakeNet::Decode(std::string_view bytes, const DecodeLimits& limits) {
    Read([&] { return ++decodes_; });
    Decoded d;
    const std::string text(bytes.substr(8));
    PixelSize natural;
    if (std::sscanf(text.c_str(), "%d %d", &natural.width, &natural.height) != 2) {
        d.failure = PictureFailure::Undecodable;
        return d;
    }
    const auto fitted = FitDecodedSize(natural, limits);
    if (!fitted) {
        d.failure = PictureFailure::TooManyPixels;
        return d;
    }
    auto p = std::make_shared<Picture>();
    p->width = fitted->width;
    p->height = fitted->height;
    p->pixels.assign(static_cast<std::size_t>(p->width) * p->height, 0xFF336699u);
    d.natural = natural;
    d.pixels = std::move(p);
    return d;
}

// Polls until `done` holds; false after a minute (a hang the test reports).
template <class F>
bool WaitUntil(F done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool Settled(PictureLoader& loader, const std::string& url) {
    return loader.Query(url).state != State::Loading;
}

std::string PictureUrl(int i) { return "http://h.cn/" + std::to_string(i) + ".png"; }

PictureLoaderOptions Quick() {
    PictureLoaderOptions o;
    o.notifySpacing = std::chrono::milliseconds(0);
    return o;
}

TEST(PictureLoader, LoadsAPageOnABoundedPoolWithinTheMemoryBound) {
    auto net = std::make_shared<FakeNet>();
    PictureLoaderOptions options = Quick();
    options.threads = 3;
    options.memory.decodedBytes = 10 * 20 * 220 * 4;  // ten of the largest of these pictures
    PictureLoader loader(options, net, nullptr);
    for (int i = 0; i < 200; ++i) net->Serve(PictureUrl(i), {20, 20 + i});  // 20 x 20 .. 20 x 219
    for (int i = 0; i < 200; ++i) EXPECT_EQ(loader.Query(PictureUrl(i)).state, State::Loading);

    std::size_t mostHeld = 0;
    ASSERT_TRUE(WaitUntil([&] {
        mostHeld = std::max(mostHeld, loader.Stats().cache.decodedBytes);
        loader.TakeChanged();
        const PictureCacheStats stats = loader.Stats().cache;
        return stats.queued == 0 && stats.running == 0;
    }));
    for (int i = 0; i < 200; ++i) {
        const PictureInfo info = loader.Query(PictureUrl(i));
        ASSERT_EQ(info.state, State::Ready) << i;
        EXPECT_EQ(info.width, 20);
        EXPECT_EQ(info.height, 20 + i);
    }
    EXPECT_LE(mostHeld, options.memory.decodedBytes);
    EXPECT_LE(loader.Stats().cache.decodedBytes, options.memory.decodedBytes);
    EXPECT_LT(loader.Stats().cache.decodedPictures, 200u) << "the first ones made room";
    EXPECT_EQ(net->AllFetches(), 200) << "each fetched once";
    EXPECT_LE(net->MostAtOnce(), 3);
    EXPECT_LE(loader.Stats().threads, 3u);
    // The last ones are still in memory, at their natural size.
    const auto last = loader.Pixels(PictureUrl(199));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->height, 219);
}

TEST(PictureLoader, TellsTheOwnerOnceUntilItTakesTheChanges) {
    auto net = std::make_shared<FakeNet>();
    PictureLoader loader(Quick(), net, nullptr);
    std::set<std::string> asked;
    for (int i = 0; i < 50; ++i) {
        net->Serve(PictureUrl(i), {4, 4});
        loader.Query(PictureUrl(i));
        asked.insert(PictureUrl(i));
    }
    ASSERT_TRUE(WaitUntil([&] { return loader.Stats().cache.running + loader.Stats().cache.queued == 0; }));
    ASSERT_TRUE(WaitUntil([&] { return net->Notices() >= 1; }));
    EXPECT_EQ(net->Notices(), 1) << "fifty arrivals, one notice while the owner has not looked";
    const auto changed = loader.TakeChanged();
    EXPECT_EQ(std::set<std::string>(changed.begin(), changed.end()), asked);
    EXPECT_EQ(changed.size(), 50u);

    net->Serve(PictureUrl(50), {4, 4});
    loader.Query(PictureUrl(50));
    ASSERT_TRUE(WaitUntil([&] { return net->Notices() == 2; }));
    EXPECT_EQ(loader.TakeChanged(), std::vector<std::string>{PictureUrl(50)});

    // Nobody listening: the changes wait for the owner to start.
    net->RefuseNotices();
    net->Serve(PictureUrl(51), {4, 4});
    loader.Query(PictureUrl(51));
    ASSERT_TRUE(WaitUntil([&] { return net->Refused() == 1; }));
    EXPECT_EQ(loader.Query(PictureUrl(51)).state, State::Ready);
    net->AcceptNotices();
    loader.NotifyIfChanged();
    ASSERT_TRUE(WaitUntil([&] { return net->Notices() == 3; }));
    EXPECT_EQ(loader.TakeChanged(), std::vector<std::string>{PictureUrl(51)});
}

TEST(PictureLoader, CutsOffADownloadAtItsLimit) {
    auto net = std::make_shared<FakeNet>();
    PictureLoaderOptions options = Quick();
    options.download.time = std::chrono::milliseconds(50);
    PictureLoader loader(options, net, nullptr);
    net->Hang(PictureUrl(0));
    net->Serve(PictureUrl(1), {3, 3});
    loader.Query(PictureUrl(0));
    loader.Query(PictureUrl(1));
    ASSERT_TRUE(WaitUntil([&] { return Settled(loader, PictureUrl(0)) && Settled(loader, PictureUrl(1)); }));
    EXPECT_EQ(loader.Query(PictureUrl(0)).state, State::Failed);
    EXPECT_EQ(loader.Describe(PictureUrl(0)).failure, PictureFailure::TimedOut);
    EXPECT_EQ(net->Aborts(), std::vector<PictureFailure>{PictureFailure::TimedOut});
    EXPECT_EQ(loader.Query(PictureUrl(1)).state, State::Ready) << "the others go on";
}

TEST(PictureLoader, ShutdownAbortsDownloadsAndLeavesAStuckOneBehind) {
    auto net = std::make_shared<FakeNet>();
    {
        PictureLoaderOptions options = Quick();
        options.threads = 3;
        options.download.time = std::chrono::minutes(10);
        options.stopWait = std::chrono::milliseconds(100);
        PictureLoader loader(options, net, nullptr);
        net->Hang(PictureUrl(0));
        net->Hang(PictureUrl(1));
        net->Stick(PictureUrl(2));
        for (int i = 0; i < 10; ++i) loader.Query(PictureUrl(i));
        ASSERT_TRUE(WaitUntil([&] { return net->Fetching() == 3; }));
    }  // returns although one worker cannot be stopped
    EXPECT_EQ(net->Aborts(), (std::vector<PictureFailure>{PictureFailure::Stopped, PictureFailure::Stopped}));
    EXPECT_EQ(net->AllFetches(), 3) << "queued loads are not started once stopping";
    // The worker left behind finishes later with the state it shares (the
    // sanitizers would catch it touching what the loader freed).
    net->Release();
    ASSERT_TRUE(WaitUntil([&] { return net->WorkersAlive() == 0; }));
    EXPECT_EQ(net->Decodes(), 0) << "a stopping loader decodes nothing more";
}

TEST(PictureLoader, KeepsDownloadsOnDiskAndServesThemWhenTheServerIsGone) {
    auto net = std::make_shared<FakeNet>();
    auto store = std::make_shared<MemoryPictureStore>();
    const std::string a = "http://h.cn/a.png";
    auto load = [&](PictureLoaderOptions options) {
        PictureLoader loader(options, net, store);
        EXPECT_TRUE(WaitUntil([&] { return Settled(loader, a); }));
        return std::make_pair(loader.Query(a), loader.Describe(a));
    };
    net->Serve(a, {8, 6});
    EXPECT_EQ(load(Quick()).first.width, 8);
    EXPECT_EQ(net->Fetches(a), 1);
    EXPECT_EQ(store->Count(), 1u);

    // Next run, within a day: from disk, the server is not asked.
    EXPECT_EQ(load(Quick()).first.state, State::Ready);
    EXPECT_EQ(net->Fetches(a), 1);

    // Older than that: the server is asked; gone, timing out or failing, the copy serves.
    PictureLoaderOptions stale = Quick();
    stale.diskFreshFor = std::chrono::seconds(0);
    for (auto [why, status] : {std::pair{PictureFailure::Network, 0}, std::pair{PictureFailure::TimedOut, 0},
                               std::pair{PictureFailure::HttpStatus, 503}}) {
        net->Fail(a, why, status);
        const auto [info, details] = load(stale);
        EXPECT_EQ(info.state, State::Ready) << PictureFailureName(why);
        EXPECT_EQ(info.height, 6);
    }
    // A server that says the picture is gone is believed.
    net->Fail(a, PictureFailure::HttpStatus, 404);
    const auto [info, details] = load(stale);
    EXPECT_EQ(info.state, State::Failed);
    EXPECT_EQ(details.httpStatus, 404);

    // Only pictures that decode are kept.
    net->ServeBytes("http://h.cn/bad.png", "\x89PNG\r\n\x1a\nnonsense");
    {
        PictureLoader loader(Quick(), net, store);
        loader.Query("http://h.cn/bad.png");
        ASSERT_TRUE(WaitUntil([&] { return Settled(loader, "http://h.cn/bad.png"); }));
        EXPECT_EQ(loader.Describe("http://h.cn/bad.png").failure, PictureFailure::Undecodable);
    }
    EXPECT_EQ(store->Count(), 1u);
}

TEST(PictureLoader, EvictedPicturesComeBackFromTheDiskCache) {
    auto net = std::make_shared<FakeNet>();
    auto store = std::make_shared<MemoryPictureStore>();
    PictureLoaderOptions options = Quick();
    options.memory.decodedBytes = 20 * 20 * 4;  // one picture
    PictureLoader loader(options, net, store);
    net->Serve(PictureUrl(0), {20, 20});
    net->Serve(PictureUrl(1), {20, 20});
    loader.Query(PictureUrl(0));
    ASSERT_TRUE(WaitUntil([&] { return Settled(loader, PictureUrl(0)); }));
    loader.Query(PictureUrl(1));
    ASSERT_TRUE(WaitUntil([&] { return Settled(loader, PictureUrl(1)); }));
    loader.TakeChanged();

    EXPECT_EQ(loader.Pixels(PictureUrl(0)), nullptr) << "evicted for the second";
    ASSERT_TRUE(WaitUntil([&] { return !loader.TakeChanged().empty(); }));
    const auto back = loader.Pixels(PictureUrl(0));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->width, 20);
    EXPECT_EQ(net->Fetches(PictureUrl(0)), 1) << "from disk, not the server";
    EXPECT_LE(loader.Stats().cache.decodedBytes, options.memory.decodedBytes);
}

// A long PNG past the decoding limits keeps its natural size, read from the
// file as it is drawn; it counts against the bound for what it holds, not
// for a whole copy, so it does not push the other pictures out.
TEST(PictureLoader, ALongPngIsReadAsDrawnAndCountsWhatItHolds) {
    auto net = std::make_shared<FakeNet>();
    PictureLoaderOptions options = Quick();
    options.decode.maxPixels = 100 * 100;
    options.decode.maxReadAsDrawnPixels = 1'000'000;
    options.memory.decodedBytes = 1536 * 1024;  // less than the long one whole (2.4 MB)
    PictureLoader loader(options, net, std::make_shared<MemoryPictureStore>());
    const std::string url = "http://h.cn/long.png";
    net->ServeBytes(url, mojian::testing::MakePng({200, 3000, 8, 2, [](int x, int y, int) { return (x + y) % 256u; }}));
    net->Serve(PictureUrl(0), {100, 100});
    net->Serve(PictureUrl(1), {100, 100});
    for (const std::string& u : {PictureUrl(0), url, PictureUrl(1)}) {
        loader.Query(u);
        ASSERT_TRUE(WaitUntil([&] { return Settled(loader, u); })) << u;
    }
    EXPECT_EQ(loader.Query(url).height, 3000);
    const auto p = loader.Pixels(url);
    ASSERT_TRUE(p && p->rows && p->width == 200);
    std::vector<std::uint32_t> row(200);
    ASSERT_TRUE(p->rows->Read(2999, 1, row.data()));
    EXPECT_EQ(row[1], 0xFF000000u | 0x010101u * (3000 % 256));
    EXPECT_EQ(net->Decodes(), 2) << "the long one never went to the system's decoder";
    EXPECT_NE(loader.Pixels(PictureUrl(0)), nullptr) << "still held beside it";
    EXPECT_NE(loader.Pixels(PictureUrl(1)), nullptr);
    EXPECT_LE(loader.Stats().cache.decodedBytes, options.memory.decodedBytes);
}

TEST(PictureLoader, EachKindOfAddressTakesItsOwnRoad) {
    auto net = std::make_shared<FakeNet>();
    PictureLoader loader(Quick(), net, nullptr);

    EXPECT_EQ(loader.Query("images/a.png").state, State::Failed);
    EXPECT_EQ(loader.Stats().threads, 0u) << "nothing to load: no thread";

    // The server's HTML page where a picture was expected never reaches the decoder.
    net->ServeBytes(PictureUrl(0), "<!DOCTYPE html><title>404</title>");
    loader.Query(PictureUrl(0));
    ASSERT_TRUE(WaitUntil([&] { return Settled(loader, PictureUrl(0)); }));
    EXPECT_EQ(loader.Describe(PictureUrl(0)).failure, PictureFailure::NotAPicture);
    EXPECT_EQ(net->Decodes(), 0);

    // data: addresses carry their picture: nothing is fetched.
    const std::string data = "data:image/png;base64,iVBORw0KGgo3IDU=";  // the scripted picture 7 x 5
    loader.Query(data);
    ASSERT_TRUE(WaitUntil([&] { return Settled(loader, data); }));
    EXPECT_EQ(loader.Query(data).width, 7);
    EXPECT_EQ(loader.Query(data).height, 5);
    EXPECT_EQ(net->AllFetches(), 1);
    EXPECT_EQ(loader.Query("data:image/png;base64,@@@").state, State::Loading);
    ASSERT_TRUE(WaitUntil([&] { return Settled(loader, "data:image/png;base64,@@@"); }));
    EXPECT_EQ(loader.Describe("data:image/png;base64,@@@").failure, PictureFailure::BadAddress);

    // Local files are fetched as files.
    net->Serve("C:\\pics\\a.png", {2, 3});
    loader.Query("file:///C:/pics/a.png");
    ASSERT_TRUE(WaitUntil([&] { return Settled(loader, "file:///C:/pics/a.png"); }));
    EXPECT_EQ(loader.Query("file:///C:/pics/a.png").height, 3);
    EXPECT_EQ(net->LastKind(), PictureAddress::Kind::File);

    // A picture too large to decode whole is kept scaled down, its natural size reported.
    PictureLoaderOptions small = Quick();
    small.decode.maxPixels = 100;
    PictureLoader scaling(small, net, nullptr);
    net->Serve(PictureUrl(9), {1000, 500});
    scaling.Query(PictureUrl(9));
    ASSERT_TRUE(WaitUntil([&] { return Settled(scaling, PictureUrl(9)); }));
    EXPECT_EQ(scaling.Query(PictureUrl(9)).width, 1000);
    const auto pixels = scaling.Pixels(PictureUrl(9));
    ASSERT_NE(pixels, nullptr);
    EXPECT_LE(pixels->width * pixels->height, 100);
    EXPECT_EQ(pixels->width, 2 * pixels->height);
}

TEST(PictureLoader, DroppedLoadsAreNeverFetched) {
    auto net = std::make_shared<FakeNet>();
    PictureLoaderOptions options = Quick();
    options.threads = 1;
    PictureLoader loader(options, net, nullptr);
    net->Stick(PictureUrl(0));
    loader.Query(PictureUrl(0));
    ASSERT_TRUE(WaitUntil([&] { return net->Fetching() == 1; }));
    for (int i = 1; i <= 10; ++i) {
        net->Serve(PictureUrl(i), {1, 1});
        loader.Query(PictureUrl(i));
    }
    loader.DropQueued();  // the page changed
    net->Serve(PictureUrl(20), {1, 1});
    loader.Query(PictureUrl(20));
    net->Release();
    ASSERT_TRUE(WaitUntil([&] { return Settled(loader, PictureUrl(0)) && Settled(loader, PictureUrl(20)); }));
    EXPECT_EQ(net->AllFetches(), 2);
    EXPECT_EQ(loader.Query(PictureUrl(5)).state, State::Loading) << "asked again, loaded again";
    ASSERT_TRUE(WaitUntil([&] { return Settled(loader, PictureUrl(5)); }));
    EXPECT_EQ(net->Fetches(PictureUrl(5)), 1);
}

// Idle threads end (each costs a megabyte under Wine) and come back with
// the next page's pictures; a notice asked for after they ended still comes.
TEST(PictureLoader, IdleThreadsEndAndComeBackForTheNextLoads) {
    auto net = std::make_shared<FakeNet>();
    PictureLoaderOptions options = Quick();
    options.threads = 2;
    options.idleEnd = std::chrono::milliseconds(20);
    PictureLoader loader(options, net, nullptr);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 6; ++i) {
            net->Serve(PictureUrl(round * 10 + i), {3, 3});
            loader.Query(PictureUrl(round * 10 + i));
        }
        ASSERT_TRUE(WaitUntil([&] {
            loader.TakeChanged();
            for (int i = 0; i < 6; ++i)
                if (!Settled(loader, PictureUrl(round * 10 + i))) return false;
            return true;
        })) << round;
        ASSERT_TRUE(WaitUntil([&] { return net->WorkersAlive() == 0 && loader.Stats().threads == 0; })) << round;
    }
    EXPECT_EQ(net->AllFetches(), 18);
    const int before = net->Notices();
    loader.NotifyIfChanged();  // nothing changed: no notice
    net->Serve(PictureUrl(99), {1, 1});
    loader.Query(PictureUrl(99));
    ASSERT_TRUE(WaitUntil([&] { return net->Notices() > before; }));
}

}  // namespace
}  // namespace mojian::html
