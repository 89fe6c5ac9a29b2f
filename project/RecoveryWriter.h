// Writes the recovery file on a thread of its own: the GUI thread hands over
// a snapshot of the page and goes on at once. Only the newest page matters,
// so a page still waiting when a newer one comes is dropped unwritten.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "compose/PageData.h"

namespace mojian {

class RecoveryWriter {
public:
    // `failed` runs on the writer's thread after a write could not be made
    // (the caller tries again later).
    RecoveryWriter(std::string folder, std::function<void()> failed);
    // Writes the page still waiting, then stops.
    ~RecoveryWriter();
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    void Write(PageData page);
    // Returns once every page handed over has been written or dropped.
    void Flush();
    // Pages written so far.
    std::size_t Written() const;

private:
    void Run();

    const std::string folder_;
    const std::function<void()> failed_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::optional<PageData> waiting_;
    bool writing_ = false;
    bool stopping_ = false;
    std::size_t written_ = 0;
    std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace mojian
