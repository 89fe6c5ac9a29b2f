// A thread of its own for work the window hands over and does not wait for.
// Each value handed over gets a number (counting up from 1). With
// Keep::Newest only the newest value matters: one still waiting when a newer
// comes is dropped undone, and a long job can ask NewerWaits() to give up
// early. With Keep::All every value is done, in the order handed over.
//
//     Worker<Page> worker(Keep::Newest, AtStop::Finish, [this] {
//         return [this](Page& page, std::uint64_t number) { Save(page); };
//     });
//     worker.Hand(page);   // returns at once
//     worker.Flush();      // everything handed over is done (or dropped)
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace mojian {

enum class Keep {
    Newest,  // a value still waiting is dropped when a newer one comes
    All,     // every value is done, in order
};

enum class AtStop {
    Finish,  // the values still waiting are done before the thread ends
    GiveUp,  // they are dropped, and NewerWaits() tells a job under way to stop
};

template <typename T>
class Worker {
public:
    // Does one value; `number` is the one Hand gave it.
    using Job = std::function<void(T& value, std::uint64_t number)>;

    // `start` runs first, on the worker's thread, and makes the job: what the
    // job holds (a device context, say) is made, used and destroyed there.
    // The thread starts with the first value handed over and ends after
    // `idleEnd` with nothing to do; the next value starts another (and
    // `start` runs again there). Under Wine every thread costs a megabyte
    // of private memory whatever its stack, and a window's page changes in
    // bursts.
    Worker(Keep keep, AtStop atStop, std::function<Job()> start,
           std::chrono::milliseconds idleEnd = std::chrono::seconds(2))
        : keep_(keep), atStop_(atStop), start_(std::move(start)), idleEnd_(idleEnd) {}

    // Stops as `atStop` says; returns once the thread has ended. Values
    // given up are let go at once, on the caller's thread.
    ~Worker() {
        std::deque<Waiting> givenUp;
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            if (atStop_ == AtStop::GiveUp) givenUp.swap(waiting_);
        }
        wake_.notify_all();
        givenUp.clear();
        if (thread_.joinable()) thread_.join();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Hands a value over and returns at once with its number.
    std::uint64_t Hand(T value) {
        std::uint64_t number = 0;
        {
            const std::lock_guard lock(mutex_);
            if (keep_ == Keep::Newest) waiting_.clear();
            number = ++handed_;
            waiting_.push_back({std::move(value), number});
            if (!running_) {
                // One that ended idle has only its job's clean-up left, which
                // takes no lock.
                if (thread_.joinable()) thread_.join();
                thread_ = std::thread([this] { Run(); });
                running_ = true;
            }
        }
        wake_.notify_all();
        return number;
    }

    // Returns once value `number` is done, or dropped for a newer one that is.
    void WaitFor(std::uint64_t number) {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return finished_ >= number; });
    }

    // Returns once everything handed over before is done or dropped.
    void Flush() {
        std::unique_lock lock(mutex_);
        const std::uint64_t number = handed_;
        done_.wait(lock, [&] { return finished_ >= number; });
    }

    // Its thread is running (it ends after idleEnd with nothing to do).
    bool Running() const {
        const std::lock_guard lock(mutex_);
        return running_;
    }

    // Nothing handed over is still waiting or under way.
    bool Idle() const {
        const std::lock_guard lock(mutex_);
        return finished_ == handed_;
    }

    // The number of the newest value handed over; 0 before any.
    std::uint64_t Handed() const {
        const std::lock_guard lock(mutex_);
        return handed_;
    }

    // For a long job: a newer value waits, or the worker is giving up, so
    // what is under way is no longer wanted.
    bool NewerWaits() const {
        const std::lock_guard lock(mutex_);
        return !waiting_.empty() || (stopping_ && atStop_ == AtStop::GiveUp);
    }

private:
    struct Waiting {
        T value;
        std::uint64_t number = 0;
    };

    void Run() {
        Job job = start_();
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait_for(lock, idleEnd_, [this] { return !waiting_.empty() || stopping_; });
            if (waiting_.empty()) break;  // stopping or idle, and nothing is left to do
            Waiting next = std::move(waiting_.front());
            waiting_.pop_front();
            lock.unlock();
            job(next.value, next.number);
            lock.lock();
            finished_ = next.number;
            done_.notify_all();
        }
        running_ = false;
        lock.unlock();
        job = nullptr;  // still on this thread
    }

    const Keep keep_;
    const AtStop atStop_;
    const std::function<Job()> start_;
    const std::chrono::milliseconds idleEnd_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<Waiting> waiting_;
    std::uint64_t handed_ = 0;
    std::uint64_t finished_ = 0;  // the number of the last value done
    bool stopping_ = false;
    bool running_ = false;  // thread_ has not yet left its loop
    std::thread thread_;    // started by Hand when none runs
};

}  // namespace mojian
