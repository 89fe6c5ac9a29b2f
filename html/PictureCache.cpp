#include "html/PictureCache.h"

#include <utility>

namespace mojian::html {

using Phase = PictureDetails::Phase;

PictureCache::PictureCache(Bounds bounds) : bounds_(bounds) {
    if (bounds_.addresses == 0) bounds_.addresses = 1;
}

PictureCache::Entry* PictureCache::Find(std::string_view url) {
    const auto it = entries_.find(url);
    return it == entries_.end() ? nullptr : it->second.get();
}

const PictureCache::Entry* PictureCache::Find(std::string_view url) const {
    const auto it = entries_.find(url);
    return it == entries_.end() ? nullptr : it->second.get();
}

bool PictureCache::IsBusy(const Entry& e) const {
    return e.phase == Phase::Running || e.reloadRunning;
}

void PictureCache::Touch(Entry& e) { recent_.splice(recent_.begin(), recent_, e.recent); }

PictureCache::Entry& PictureCache::Add(std::string_view url) {
    auto owned = std::make_unique<Entry>();
    Entry& e = *owned;
    e.url = std::string(url);
    recent_.push_front(&e);
    e.recent = recent_.begin();
    e.decoded = decoded_.end();
    entries_.emplace(e.url, std::move(owned));
    KeepAddressBound();
    return e;
}

// Forgets the least recently asked addresses beyond the bound: settled ones
// first, then queued ones (asked again, they queue again). Loads in progress
// are never forgotten: there are at most as many as workers.
void PictureCache::KeepAddressBound() {
    for (bool queuedToo : {false, true}) {
        auto it = recent_.end();
        while (entries_.size() > bounds_.addresses && it != recent_.begin()) {
            const auto current = std::prev(it);
            if (current == recent_.begin()) break;  // the address just asked for stays
            Entry& e = **current;
            const bool settled = (e.phase == Phase::Ready || e.phase == Phase::Failed) && !e.reloadQueued;
            if (!IsBusy(e) && (settled || queuedToo)) Remove(e);  // erases `current` only
            else it = current;
        }
    }
}

void PictureCache::Remove(Entry& e) {
    DropPixels(e);
    if (e.phase == Phase::Queued || e.reloadQueued) --queuedCount_;
    recent_.erase(e.recent);
    entries_.erase(entries_.find(e.url));  // frees e; queue_ and changed_ skip what is gone
}

void PictureCache::Enqueue(Entry& e, bool front) {
    e.ticket = nextTicket_++;
    if (front) queue_.emplace_front(e.url, e.ticket);
    else queue_.emplace_back(e.url, e.ticket);
    ++queuedCount_;
}

void PictureCache::MarkChanged(Entry& e) {
    if (e.changed) return;
    e.changed = true;
    changed_.push_back(e.url);
}

void PictureCache::HoldPixels(Entry& e, std::shared_ptr<const Picture> pixels) {
    DropPixels(e);
    e.pixels = std::move(pixels);
    e.pixelBytes = e.pixels->Bytes();
    decoded_.push_front(&e);
    e.decoded = decoded_.begin();
    decodedBytes_ += e.pixelBytes;
    // Evict the least recently used until within the bound; the newcomer
    // stays (the loader keeps each picture below the bound).
    while (decodedBytes_ > bounds_.decodedBytes && decoded_.back() != &e) DropPixels(*decoded_.back());
}

void PictureCache::DropPixels(Entry& e) {
    if (!e.pixels) return;
    decoded_.erase(e.decoded);
    e.decoded = decoded_.end();
    decodedBytes_ -= e.pixelBytes;
    e.pixelBytes = 0;
    e.pixels.reset();
}

PictureInfo PictureCache::Query(std::string_view url) {
    Entry* found = Find(url);
    if (!found) {
        Entry& e = Add(url);
        e.address = ClassifyPictureAddress(url);
        if (e.address.kind == PictureAddress::Kind::Invalid) {
            e.phase = Phase::Failed;
            e.failure = PictureFailure::BadAddress;
        } else {
            e.phase = Phase::Queued;
            Enqueue(e, false);
        }
        found = &e;
    } else {
        Touch(*found);
    }
    PictureInfo info;
    switch (found->phase) {
        case Phase::Unknown:
        case Phase::Queued:
        case Phase::Running: info.state = PictureInfo::State::Loading; break;
        case Phase::Ready:
            info.state = PictureInfo::State::Ready;
            info.width = found->natural.width;
            info.height = found->natural.height;
            break;
        case Phase::Failed: info.state = PictureInfo::State::Failed; break;
    }
    return info;
}

std::shared_ptr<const Picture> PictureCache::Pixels(std::string_view url) {
    Entry* e = Find(url);
    if (!e || e->phase != Phase::Ready) return nullptr;
    Touch(*e);
    if (e->pixels) {
        decoded_.splice(decoded_.begin(), decoded_, e->decoded);
        return e->pixels;
    }
    if (!e->reloadQueued && !e->reloadRunning) {
        e->reloadQueued = true;
        Enqueue(*e, true);
    }
    return nullptr;
}

std::optional<PictureJob> PictureCache::TakeJob() {
    while (!queue_.empty()) {
        auto [url, ticket] = std::move(queue_.front());
        queue_.pop_front();
        Entry* e = Find(url);
        if (!e || e->ticket != ticket) continue;
        PictureJob job{e->url, e->address, false, ticket};
        if (e->phase == Phase::Queued) {
            e->phase = Phase::Running;
        } else if (e->reloadQueued) {
            e->reloadQueued = false;
            e->reloadRunning = true;
            job.reload = true;
        } else {
            continue;
        }
        --queuedCount_;
        ++runningCount_;
        return job;
    }
    return std::nullopt;
}

void PictureCache::Finish(const PictureJob& job, PictureResult result) {
    Entry* e = Find(job.url);
    if (!e || e->ticket != job.ticket || !(job.reload ? e->reloadRunning : e->phase == Phase::Running)) return;
    --runningCount_;
    e->reloadRunning = false;
    if (result.failure == PictureFailure::None && result.pixels) {
        e->phase = Phase::Ready;
        e->failure = PictureFailure::None;
        e->httpStatus = result.httpStatus;
        e->natural = result.natural;
        HoldPixels(*e, std::move(result.pixels));
    } else {
        e->phase = Phase::Failed;
        e->failure = result.failure == PictureFailure::None ? PictureFailure::Undecodable : result.failure;
        e->httpStatus = result.httpStatus;
        DropPixels(*e);
    }
    MarkChanged(*e);
    KeepAddressBound();
}

std::vector<std::string> PictureCache::TakeChanged() {
    std::vector<std::string> out;
    out.swap(changed_);
    for (const auto& url : out) {
        if (Entry* e = Find(url)) e->changed = false;
    }
    return out;
}

void PictureCache::DropQueued() {
    std::vector<Entry*> drop;
    for (auto& [url, e] : entries_) {
        if (e->phase == Phase::Queued) drop.push_back(e.get());
        else if (e->reloadQueued) {
            e->reloadQueued = false;
            --queuedCount_;
        }
    }
    for (Entry* e : drop) Remove(*e);
    queue_.clear();
}

void PictureCache::ForgetFailed() {
    std::vector<Entry*> drop;
    for (auto& [url, e] : entries_) {
        if (e->phase == Phase::Failed) drop.push_back(e.get());
    }
    for (Entry* e : drop) Remove(*e);
}

PictureDetails PictureCache::Describe(std::string_view url) const {
    const Entry* e = Find(url);
    if (!e) return {};
    PictureDetails d;
    d.phase = e->phase;
    d.failure = e->failure;
    d.httpStatus = e->httpStatus;
    d.natural = e->natural;
    if (e->pixels) d.decoded = {e->pixels->width, e->pixels->height};
    return d;
}

PictureCacheStats PictureCache::Stats() const {
    return {entries_.size(), queuedCount_, runningCount_, decoded_.size(), decodedBytes_};
}

}  // namespace mojian::html
