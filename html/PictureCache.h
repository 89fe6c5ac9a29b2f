// What the loader knows about every picture address it was asked for: its
// state, its natural size and, within a memory bound, its decoded pixels;
// the queue of loads waiting for a worker; and which addresses changed since
// the owner last looked. No threads and no system calls here: the loader
// calls it under its lock.
//
// An address goes Queued -> Running -> Ready or Failed. A Ready picture
// whose pixels were evicted to keep within the bound stays Ready (layout
// keeps its size); asking for its pixels queues a reload ahead of first
// loads, and a reload that fails turns it Failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "html/PictureAddress.h"
#include "html/PictureLimits.h"
#include "html/PictureSource.h"

namespace mojian::html {

// One load for a worker to carry out.
struct PictureJob {
    std::string url;  // as the page wrote it: the table's key
    PictureAddress address;
    bool reload = false;  // pixels evicted from memory: the disk cache serves them
    std::uint64_t ticket = 0;
};

// What a worker brings back.
struct PictureResult {
    PictureFailure failure = PictureFailure::None;
    int httpStatus = 0;
    PixelSize natural;
    std::shared_ptr<const Picture> pixels;  // set when failure is None
};

// Everything known about one address, for tests and diagnostics.
struct PictureDetails {
    enum class Phase : std::uint8_t { Unknown, Queued, Running, Ready, Failed };
    Phase phase = Phase::Unknown;
    PictureFailure failure = PictureFailure::None;
    int httpStatus = 0;
    PixelSize natural;
    PixelSize decoded;  // zero when the pixels are not in memory
};

struct PictureCacheStats {
    std::size_t addresses = 0;
    std::size_t queued = 0;
    std::size_t running = 0;
    std::size_t decodedPictures = 0;
    std::size_t decodedBytes = 0;
};

class PictureCache {
public:
    struct Bounds {
        std::size_t decodedBytes = 192u * 1024 * 1024;  // pixels held in memory
        std::size_t addresses = 10000;                  // addresses remembered
    };

    explicit PictureCache(Bounds bounds);
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // The picture's state; an address not seen before is queued (or fails at
    // once when the loader cannot load it).
    PictureInfo Query(std::string_view url);
    // The pixels when Ready and in memory; queues a reload when they were evicted.
    std::shared_ptr<const Picture> Pixels(std::string_view url);

    // The next load, reloads first, then first loads in the order asked;
    // the address turns Running.
    std::optional<PictureJob> TakeJob();
    bool HasJobs() const { return queuedCount_ > 0; }
    // Records a load's outcome. Outcomes of loads whose address was dropped
    // or re-queued meanwhile are ignored.
    void Finish(const PictureJob& job, PictureResult result);

    // Addresses whose state or pixels changed since the last call, in the
    // order they changed, each once.
    std::vector<std::string> TakeChanged();
    bool HasChanges() const { return !changed_.empty(); }

    // Forgets queued loads that no worker has started (the page they were
    // for is gone); asking again queues them again.
    void DropQueued();
    // Forgets failed addresses, so asking again tries them again.
    void ForgetFailed();

    PictureDetails Describe(std::string_view url) const;
    PictureCacheStats Stats() const;
    const Bounds& GetBounds() const { return bounds_; }

private:
    struct Entry {
        std::string url;
        PictureAddress address;
        PictureDetails::Phase phase = PictureDetails::Phase::Queued;
        PictureFailure failure = PictureFailure::None;
        int httpStatus = 0;
        PixelSize natural;
        std::shared_ptr<const Picture> pixels;
        std::size_t pixelBytes = 0;
        bool reloadQueued = false;
        bool reloadRunning = false;
        bool changed = false;
        std::uint64_t ticket = 0;
        std::list<Entry*>::iterator recent;   // in recent_
        std::list<Entry*>::iterator decoded;  // in decoded_ when pixels are held
    };

    Entry* Find(std::string_view url);
    const Entry* Find(std::string_view url) const;
    Entry& Add(std::string_view url);
    void Touch(Entry& e);
    void Enqueue(Entry& e, bool front);
    void MarkChanged(Entry& e);
    void HoldPixels(Entry& e, std::shared_ptr<const Picture> pixels);
    void DropPixels(Entry& e);
    void Remove(Entry& e);
    void KeepAddressBound();
    bool IsBusy(const Entry& e) const;

    // Layout asks for every picture on every pass: look addresses up without
    // copying them (a data: address can be megabytes).
    struct UrlHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view url) const { return std::hash<std::string_view>{}(url); }
    };

    Bounds bounds_;
    std::unordered_map<std::string, std::unique_ptr<Entry>, UrlHash, std::equal_to<>> entries_;
    std::list<Entry*> recent_;   // most recently asked first
    std::list<Entry*> decoded_;  // pixels in memory, most recently used first
    std::size_t decodedBytes_ = 0;
    std::deque<std::pair<std::string, std::uint64_t>> queue_;  // url, ticket; stale ones are skipped
    std::size_t queuedCount_ = 0;
    std::size_t runningCount_ = 0;
    std::vector<std::string> changed_;
    std::uint64_t nextTicket_ = 1;
};

}  // namespace mojian::html
