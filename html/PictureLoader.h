// Loads pictures for the preview on a few worker threads, so the GUI never
// waits on the network or the disk.
//
// Query() and Pixels() answer at once from what is known and queue what is
// not: a new address is Loading until a worker has fetched and decoded it.
// Workers fetch (network, file or data: address), keep downloaded pictures
// in a disk cache, decode, and hand the result back. Decoded pixels are kept
// within a memory bound, least recently painted out first; a picture whose
// pixels were dropped stays Ready with its natural size, and Pixels()
// answers null once and reloads it (from the disk cache for downloads).
//
// Pixels(): premultiplied BGRA at the decoded size, which is the natural
// size unless the picture has more than DecodeLimits::maxPixels pixels or a
// side beyond maxSide: then it is scaled down, proportions kept, and its
// width and height are smaller than the natural size Query() reports.
// Painting scales to the box in any case.
//
// When states change the loader tells its owner through the backend's
// Notify() (the Windows backend posts a message): once, and not again until
// the owner has called TakeChanged(), and no sooner than notifySpacing after
// the previous notice, so a burst of arrivals costs one relayout. Nothing is
// ever called on a worker thread that belongs to the GUI.
//
// Destroying the loader aborts downloads in flight, forgets queued loads and
// waits at most stopWait for the workers; one still stuck in a system call
// is left to finish on its own (it holds only state it shares with nobody).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "html/PictureAddress.h"
#include "html/PictureCache.h"
#include "html/PictureDiskCache.h"
#include "html/PictureLimits.h"
#include "html/PictureSource.h"

namespace mojian::html {

struct PictureLoaderOptions {
    int threads = 4;
    DownloadLimits download;
    DecodeLimits decode;
    PictureCache::Bounds memory;
    std::uint64_t diskBytes = 256u * 1024 * 1024;
    // Within this age a downloaded picture is shown from the disk cache
    // without asking the server; older, it is asked again, and the copy on
    // disk serves when the server cannot be reached.
    std::chrono::seconds diskFreshFor{std::chrono::hours(24)};
    std::chrono::milliseconds notifySpacing{100};
    // How long destroying the loader waits for its workers (the GUI thread
    // waits that long at most). Workers still busy then are left to end by
    // themselves: Wine's WinINet does not wake a blocked read when its
    // handle is closed.
    std::chrono::milliseconds stopWait{250};
    // A worker with nothing to do for this long ends, and the supervisor
    // with it once nothing is in flight: under Wine every thread costs a
    // megabyte of private memory whatever its stack, and a page's pictures
    // arrive in one burst.
    std::chrono::milliseconds idleEnd{1500};
};

// Lets another thread abort a fetch that is blocked in a system call.
class FetchControl {
public:
    // The fetcher says how to abort its blocking call (close its handle).
    // Runs `abort` at once when the fetch is already cancelled.
    void OnAbort(std::function<void()> abort);
    // No abort runs after this returns. True when it ran: what it closed
    // must not be closed again.
    bool ClearAbort();
    bool Cancelled() const;
    PictureFailure Reason() const;  // TimedOut or Stopped once cancelled

    void Cancel(PictureFailure reason);

private:
    mutable std::mutex mutex_;
    std::function<void()> abort_;
    bool cancelled_ = false;
    bool aborted_ = false;
    PictureFailure reason_ = PictureFailure::None;
};

struct Fetched {
    PictureFailure failure = PictureFailure::None;
    int httpStatus = 0;
    std::string bytes;
};

struct Decoded {
    PictureFailure failure = PictureFailure::None;
    PixelSize natural;
    std::shared_ptr<const Picture> pixels;
};

// The system's side of one worker thread: made and destroyed on that thread
// (so it can hold per-thread things such as COM and a WIC factory).
class PictureWorker {
public:
    virtual ~PictureWorker() = default;
    // The bytes of a network or file address, at most limits.maxBytes of
    // them. Checks control.Cancelled() between reads.
    virtual Fetched Fetch(const PictureAddress& address, const DownloadLimits& limits, FetchControl& control) = 0;
    // Decodes a picture; the format was sniffed already.
    virtual Decoded Decode(std::string_view bytes, const DecodeLimits& limits) = 0;
};

class PictureBackend {
public:
    virtual ~PictureBackend() = default;
    // Called on each worker thread as it starts; null when the thread cannot
    // work (its loads then fail).
    virtual std::unique_ptr<PictureWorker> StartWorker() = 0;
    // Tells the owner that changes wait; called on the loader's own thread.
    // False when nobody could be told (then the next change tries again).
    virtual bool Notify() = 0;
};

struct PictureLoaderStats {
    PictureCacheStats cache;
    std::size_t threads = 0;   // workers running
    std::size_t inFlight = 0;  // fetches under way
};

class PictureLoader : public PictureSource {
public:
    // `store` may be null: no disk cache.
    PictureLoader(PictureLoaderOptions options, std::shared_ptr<PictureBackend> backend,
                  std::shared_ptr<PictureStore> store);
    ~PictureLoader() override;
    PictureLoader(const PictureLoader&) = delete;
    PictureLoader& operator=(const PictureLoader&) = delete;

    PictureInfo Query(std::string_view url) override;
    std::shared_ptr<const Picture> Pixels(std::string_view url) override;

    // The addresses that changed since the last call; the owner calls it on
    // every notice (else no further notice comes).
    std::vector<std::string> TakeChanged();
    // A notice now if changes wait (after the owner started listening).
    void NotifyIfChanged();
    // Forgets queued loads of a page that is gone; forgets failures so they
    // are tried again.
    void DropQueued();
    void ForgetFailed();

    PictureDetails Describe(std::string_view url);
    PictureLoaderStats Stats();
    const PictureLoaderOptions& Options() const { return options_; }

private:
    struct Shared;
    void StartWorkersLocked();
    bool StartThreadLocked(bool supervisor);

    PictureLoaderOptions options_;
    std::shared_ptr<Shared> shared_;
    // The supervisor's and the workers' threads; a slot whose thread ended is
    // joined and used again.
    std::vector<std::thread> threads_;
};

}  // namespace mojian::html
