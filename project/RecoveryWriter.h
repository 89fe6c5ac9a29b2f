// Writes the recovery file on a thread of its own: the GUI thread hands over
// a snapshot of the page and goes on at once. Only the newest page matters,
// so a page still waiting when a newer one comes is dropped unwritten.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "base/Worker.h"
#include "compose/PageData.h"

namespace mojian::project {

class RecoveryWriter {
public:
    // `failed` runs on the writer's thread after a write could not be made
    // (the caller tries again later).
    RecoveryWriter(std::string folder, std::function<void()> failed);
    // Writes the page still waiting, then stops.
    ~RecoveryWriter() = default;
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    void Write(PageData page);
    // Returns once every page handed over has been written or dropped.
    void Flush();
    // Pages written so far.
    std::size_t Written() const;

private:
    const std::string folder_;
    const std::function<void()> failed_;
    std::atomic<std::size_t> written_{0};
    Worker<PageData> worker_;  // last: its thread uses everything above
};

}  // namespace mojian::project
