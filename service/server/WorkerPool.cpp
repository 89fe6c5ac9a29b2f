#include "service/server/WorkerPool.h"

#include <algorithm>
#include <utility>

namespace mojian::service {

WorkerPool::WorkerPool(std::size_t threads, Handler handler, std::function<void()> finished)
    : handler_(std::move(handler)), finished_(std::move(finished)) {
    for (std::size_t i = 0; i < std::max<std::size_t>(threads, 1); ++i) threads_.emplace_back([this] { Work(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        stop_ = true;
    }
    jobAdded_.notify_all();
    for (auto& t : threads_) t.join();
}

void WorkerPool::Submit(std::uint64_t connection, HttpRequest request) {
    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        jobs_.emplace_back(connection, std::move(request));
    }
    jobAdded_.notify_one();
}

std::vector<WorkerPool::Done> WorkerPool::TakeFinished() {
    std::vector<Done> finished;
    std::lock_guard<std::mutex> lock(doneMutex_);
    finished.swap(done_);
    return finished;
}

void WorkerPool::Work() {
    for (;;) {
        std::pair<std::uint64_t, HttpRequest> job;
        {
            std::unique_lock<std::mutex> lock(jobsMutex_);
            jobAdded_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        HttpResponse response = handler_(job.second);
        {
            std::lock_guard<std::mutex> lock(doneMutex_);
            done_.push_back({job.first, std::move(response)});
        }
        if (finished_) finished_();
    }
}

}  // namespace mojian::service
