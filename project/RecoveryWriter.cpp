#include "project/RecoveryWriter.h"

#include <utility>

#include "project/Recovery.h"

namespace mojian {

RecoveryWriter::RecoveryWriter(std::string folder, std::function<void()> failed)
    : folder_(std::move(folder)), failed_(std::move(failed)), thread_([this] { Run(); }) {}

RecoveryWriter::~RecoveryWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void RecoveryWriter::Write(PageData page) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_ = std::move(page);
    }
    wake_.notify_one();
}

void RecoveryWriter::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return !waiting_ && !writing_; });
}

std::size_t RecoveryWriter::Written() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

void RecoveryWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return waiting_ || stopping_; });
        if (!waiting_) break;  // stopping, nothing left to write
        PageData page = std::move(*waiting_);
        waiting_.reset();
        writing_ = true;
        lock.unlock();
        const bool ok = !WriteRecovery(folder_, page).has_value();
        if (!ok && failed_) failed_();
        lock.lock();
        writing_ = false;
        if (ok) ++written_;
        idle_.notify_all();
    }
    idle_.notify_all();
}

}  // namespace mojian
