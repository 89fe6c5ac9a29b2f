#include "html/PictureLoader.h"

#include <algorithm>
#include <condition_variable>
#include <list>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "html/PngRows.h"

namespace mojian::html {

using Clock = std::chrono::steady_clock;

// ---- FetchControl ------------------------------------------------------------

void FetchControl::OnAbort(std::function<void()> abort) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_) {
        abort();
        aborted_ = true;
        return;
    }
    abort_ = std::move(abort);
}

bool FetchControl::ClearAbort() {
    std::lock_guard<std::mutex> lock(mutex_);
    abort_ = nullptr;
    return aborted_;
}

bool FetchControl::Cancelled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cancelled_;
}

PictureFailure FetchControl::Reason() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reason_;
}

void FetchControl::Cancel(PictureFailure reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    reason_ = reason;
    // Under the lock, so that once ClearAbort() has returned nothing closes
    // the fetcher's handles behind its back.
    if (abort_) {
        abort_();
        aborted_ = true;
        abort_ = nullptr;
    }
}

// ---- The state the threads share ------------------------------------------------

// Owned jointly by the loader and its threads, so a worker left stuck in a
// system call at shutdown still has everything it touches when it returns.
struct PictureLoader::Shared {
    Shared(const PictureLoaderOptions& o, std::shared_ptr<PictureBackend> b, std::shared_ptr<PictureStore> store)
        : options(o), backend(std::move(b)), cache(o.memory) {
        if (store) disk = std::make_unique<PictureDiskCache>(std::move(store), o.diskBytes);
    }

    struct InFlight {
        std::shared_ptr<FetchControl> control;
        Clock::time_point deadline;
        bool cancelled = false;
    };

    const PictureLoaderOptions options;
    const std::shared_ptr<PictureBackend> backend;
    std::unique_ptr<PictureDiskCache> disk;

    std::mutex mutex;
    std::condition_variable jobsReady;  // workers wait here
    std::condition_variable supervise;  // the supervisor waits here
    std::condition_variable exited;     // the destructor waits here
    PictureCache cache;
    bool stopping = false;
    std::list<InFlight> inFlight;
    std::optional<Clock::time_point> noticeDue;
    bool awaitingTake = false;  // a notice went out and the owner has not taken the changes yet
    Clock::time_point lastNotice{};
    std::size_t idleWorkers = 0;
    std::size_t workers = 0;        // worker threads running
    bool supervisorRunning = false;
    std::vector<bool> done;  // per slot of the loader's threads: its thread has ended

    void ScheduleNoticeLocked();
    bool SupervisorMayEndLocked() const { return workers == 0 && inFlight.empty() && !noticeDue; }
    void SupervisorMain(std::size_t index);
    void WorkerMain(std::size_t index);
    void EndThread(std::size_t index);
    PictureResult Load(PictureWorker& worker, const PictureJob& job);
    PictureResult LoadFromNetwork(PictureWorker& worker, const PictureJob& job);
    Fetched FetchWithDeadline(PictureWorker& worker, const PictureAddress& address);
    PictureResult DecodeBytes(PictureWorker& worker, std::string_view bytes);
};

namespace {

PictureResult Failed(PictureFailure failure, int httpStatus = 0) {
    PictureResult r;
    r.failure = failure;
    r.httpStatus = httpStatus;
    return r;
}

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void PictureLoader::Shared::ScheduleNoticeLocked() {
    if (awaitingTake || noticeDue || !cache.HasChanges()) return;
    noticeDue = std::max(Clock::now(), lastNotice + options.notifySpacing);
    supervise.notify_one();
}

// Cuts off downloads past their deadline and sends the notices when due.
void PictureLoader::Shared::SupervisorMain(std::size_t index) {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        const Clock::time_point now = Clock::now();
        std::vector<std::shared_ptr<FetchControl>> expired;
        std::optional<Clock::time_point> next = noticeDue;
        for (InFlight& f : inFlight) {
            if (f.cancelled) continue;
            if (now >= f.deadline) {
                f.cancelled = true;
                expired.push_back(f.control);
            } else if (!next || f.deadline < *next) {
                next = f.deadline;
            }
        }
        const bool notice = noticeDue && now >= *noticeDue;
        if (notice) {
            noticeDue.reset();
            awaitingTake = true;
            lastNotice = now;
        }
        if (notice || !expired.empty()) {
            // Closing handles and posting happen outside the lock: the GUI
            // thread must never wait for them.
            lock.unlock();
            for (const auto& control : expired) control->Cancel(PictureFailure::TimedOut);
            const bool told = !notice || backend->Notify();
            lock.lock();
            if (!told) awaitingTake = false;
            continue;
        }
        if (next) {
            supervise.wait_until(lock, *next);
        } else {
            if (SupervisorMayEndLocked()) break;  // started again with the next load
            supervise.wait(lock);
        }
    }
    supervisorRunning = false;
    lock.unlock();
    EndThread(index);
}

void PictureLoader::Shared::WorkerMain(std::size_t index) {
    std::unique_ptr<PictureWorker> worker;
    try {
        worker = backend->StartWorker();
    } catch (...) {
        worker.reset();
    }
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        ++idleWorkers;
        const bool woken = jobsReady.wait_for(lock, options.idleEnd, [this] { return stopping || cache.HasJobs(); });
        --idleWorkers;
        if (stopping || !woken) break;
        std::optional<PictureJob> job = cache.TakeJob();
        if (!job) continue;
        lock.unlock();
        PictureResult result = worker ? Load(*worker, *job) : Failed(PictureFailure::Undecodable);
        lock.lock();
        if (stopping) break;
        cache.Finish(*job, std::move(result));
        ScheduleNoticeLocked();
    }
    --workers;
    if (SupervisorMayEndLocked()) supervise.notify_one();
    lock.unlock();
    worker.reset();  // on its own thread, as it was made
    EndThread(index);
}

void PictureLoader::Shared::EndThread(std::size_t index) {
    std::lock_guard<std::mutex> lock(mutex);
    done[index] = true;
    exited.notify_all();
}

PictureResult PictureLoader::Shared::Load(PictureWorker& worker, const PictureJob& job) {
    try {
        switch (job.address.kind) {
            case PictureAddress::Kind::Data: {
                const auto bytes = DecodeDataAddress(job.address.target, options.download.maxBytes);
                if (!bytes) return Failed(PictureFailure::BadAddress);
                return DecodeBytes(worker, *bytes);
            }
            case PictureAddress::Kind::File: {
                const Fetched f = FetchWithDeadline(worker, job.address);
                if (f.failure != PictureFailure::None) return Failed(f.failure);
                return DecodeBytes(worker, f.bytes);
            }
            case PictureAddress::Kind::Http:
            case PictureAddress::Kind::Https: return LoadFromNetwork(worker, job);
            case PictureAddress::Kind::Invalid: break;
        }
        return Failed(PictureFailure::BadAddress);
    } catch (const std::bad_alloc&) {
        // A picture the address space cannot hold is a picture we cannot show.
        return Failed(PictureFailure::TooManyPixels);
    }
}

PictureResult PictureLoader::Shared::LoadFromNetwork(PictureWorker& worker, const PictureJob& job) {
    const std::string& address = job.address.target;
    const std::int64_t now = NowSeconds();
    std::optional<CachedPicture> cached = disk ? disk->Get(address) : std::nullopt;
    // A reload after eviction takes the copy on disk whatever its age: the
    // picture was shown this run already.
    if (cached && (job.reload || (now >= cached->savedSeconds && now - cached->savedSeconds < options.diskFreshFor.count()))) {
        PictureResult r = DecodeBytes(worker, cached->bytes);
        if (r.failure == PictureFailure::None || r.failure == PictureFailure::Stopped) return r;
        disk->Remove(address);  // damaged on disk: ask the server
        cached.reset();
    }
    const Fetched f = FetchWithDeadline(worker, job.address);
    if (f.failure == PictureFailure::None) {
        PictureResult r = DecodeBytes(worker, f.bytes);
        r.httpStatus = f.httpStatus;
        if (r.failure == PictureFailure::None && disk) disk->Put(address, f.bytes, now);
        return r;
    }
    // The server cannot be reached (or is failing): an older copy is better than nothing.
    const bool unreachable = f.failure == PictureFailure::Network || f.failure == PictureFailure::TimedOut ||
                             (f.failure == PictureFailure::HttpStatus && f.httpStatus >= 500);
    if (cached && unreachable) {
        PictureResult r = DecodeBytes(worker, cached->bytes);
        if (r.failure == PictureFailure::None) return r;
    }
    return Failed(f.failure, f.httpStatus);
}

Fetched PictureLoader::Shared::FetchWithDeadline(PictureWorker& worker, const PictureAddress& address) {
    auto control = std::make_shared<FetchControl>();
    std::list<InFlight>::iterator registered;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping) return {PictureFailure::Stopped, 0, {}};
        inFlight.push_back({control, Clock::now() + options.download.time});
        registered = std::prev(inFlight.end());
        supervise.notify_one();
    }
    Fetched f;
    try {
        f = worker.Fetch(address, options.download, *control);
    } catch (const std::bad_alloc&) {
        f = {PictureFailure::TooLarge, 0, {}};
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        inFlight.erase(registered);
    }
    // A fetch that had all its bytes before it was cut off stands.
    if (f.failure != PictureFailure::None && control->Cancelled()) f.failure = control->Reason();
    return f;
}

namespace {

// A long PNG past the decoding limits keeps its natural size, read from the
// file as it is drawn: the system's decoder would hold it whole, at up to
// 8 bytes a pixel, and a copy scaled to fit would show it blurred.
std::optional<PictureResult> PngReadAsDrawn(std::string_view bytes, const DecodeLimits& limits) {
    const auto header = ReadPngHeader(bytes);
    if (!header || header->interlaced) return std::nullopt;
    const PixelSize natural{header->width, header->height};
    if (!ReadsAsDrawn(natural, limits)) return std::nullopt;
    auto picture = std::make_shared<Picture>();
    picture->width = natural.width;
    picture->height = natural.height;
    picture->rows = OpenPngRows(std::string(bytes));
    if (!picture->rows) return std::nullopt;  // the system's decoder says what is wrong with it
    PictureResult r;
    r.natural = natural;
    r.pixels = std::move(picture);
    return r;
}

}  // namespace

PictureResult PictureLoader::Shared::DecodeBytes(PictureWorker& worker, std::string_view bytes) {
    {
        // A big picture can take a while to decode: not for a loader shutting down.
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping) return Failed(PictureFailure::Stopped);
    }
    if (SniffPictureFormat(bytes) == PictureFormat::Unknown) return Failed(PictureFailure::NotAPicture);
    Decoded d;
    try {
        if (auto r = PngReadAsDrawn(bytes, options.decode)) return std::move(*r);
        d = worker.Decode(bytes, options.decode);
    } catch (const std::bad_alloc&) {
        return Failed(PictureFailure::TooManyPixels);
    }
    if (d.failure != PictureFailure::None || !d.pixels) {
        return Failed(d.failure == PictureFailure::None ? PictureFailure::Undecodable : d.failure);
    }
    PictureResult r;
    r.natural = d.natural;
    r.pixels = std::move(d.pixels);
    return r;
}

// ---- PictureLoader ------------------------------------------------------------

namespace {

PictureLoaderOptions Sane(PictureLoaderOptions o) {
    o.threads = std::clamp(o.threads, 1, 16);
    // Every decoded picture must fit in the memory bound by itself.
    o.decode.maxPixels = std::clamp<std::int64_t>(
        o.decode.maxPixels, 1, static_cast<std::int64_t>(o.memory.decodedBytes / sizeof(std::uint32_t)));
    return o;
}

}  // namespace

PictureLoader::PictureLoader(PictureLoaderOptions options, std::shared_ptr<PictureBackend> backend,
                             std::shared_ptr<PictureStore> store)
    : options_(Sane(options)), shared_(std::make_shared<Shared>(options_, std::move(backend), std::move(store))) {}

PictureLoader::~PictureLoader() {
    Shared& s = *shared_;
    std::vector<std::shared_ptr<FetchControl>> inFlight;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stopping = true;
        for (auto& f : s.inFlight) inFlight.push_back(f.control);
    }
    s.jobsReady.notify_all();
    s.supervise.notify_all();
    for (const auto& control : inFlight) control->Cancel(PictureFailure::Stopped);
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.exited.wait_for(lock, options_.stopWait,
                          [&] { return std::all_of(s.done.begin(), s.done.end(), [](bool d) { return d; }); });
    }
    for (std::size_t i = 0; i < threads_.size(); ++i) {
        bool finished;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            finished = s.done[i];
        }
        // A worker still stuck in a system call ends by itself later; it
        // keeps the shared state alive until then.
        if (!threads_[i].joinable()) continue;  // a slot whose start failed
        if (finished) threads_[i].join();
        else threads_[i].detach();
    }
}

// Starts a thread in a free slot, joining the one that ended there.
bool PictureLoader::StartThreadLocked(bool supervisor) {
    Shared& s = *shared_;
    std::size_t slot = 0;
    while (slot < threads_.size() && !s.done[slot]) ++slot;
    if (slot == threads_.size()) {
        threads_.emplace_back();
        s.done.push_back(true);
    }
    // An ended thread only has its return left to make: joining is short,
    // and it no longer takes the lock.
    if (threads_[slot].joinable()) threads_[slot].join();
    try {
        if (supervisor) threads_[slot] = std::thread([shared = shared_, slot] { shared->SupervisorMain(slot); });
        else threads_[slot] = std::thread([shared = shared_, slot] { shared->WorkerMain(slot); });
    } catch (const std::system_error&) {
        return false;  // no more threads to be had: the ones running carry the queue
    }
    s.done[slot] = false;
    return true;
}

void PictureLoader::StartWorkersLocked() {
    Shared& s = *shared_;
    if (!s.cache.HasJobs()) return;
    if (!s.supervisorRunning) s.supervisorRunning = StartThreadLocked(true);
    if (s.idleWorkers < s.cache.Stats().queued && s.workers < static_cast<std::size_t>(options_.threads) &&
        StartThreadLocked(false))
        ++s.workers;
    s.jobsReady.notify_one();
}

PictureInfo PictureLoader::Query(std::string_view url) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    const PictureInfo info = shared_->cache.Query(url);
    StartWorkersLocked();
    return info;
}

std::shared_ptr<const Picture> PictureLoader::Pixels(std::string_view url) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    auto pixels = shared_->cache.Pixels(url);
    if (!pixels) StartWorkersLocked();
    return pixels;
}

std::vector<std::string> PictureLoader::TakeChanged() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->awaitingTake = false;
    return shared_->cache.TakeChanged();
}

void PictureLoader::NotifyIfChanged() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->awaitingTake = false;
    shared_->ScheduleNoticeLocked();
    // The notice is the supervisor's to send, and it may have ended.
    if (shared_->noticeDue && !shared_->supervisorRunning) shared_->supervisorRunning = StartThreadLocked(true);
}

void PictureLoader::DropQueued() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->cache.DropQueued();
}

void PictureLoader::ForgetFailed() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->cache.ForgetFailed();
}

PictureDetails PictureLoader::Describe(std::string_view url) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->cache.Describe(url);
}

PictureLoaderStats PictureLoader::Stats() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return {shared_->cache.Stats(), shared_->workers, shared_->inFlight.size()};
}

}  // namespace mojian::html
