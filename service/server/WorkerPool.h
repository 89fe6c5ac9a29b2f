// The few threads that answer whole requests, off the thread that waits on
// the connections: answering reads the record from disk, which may take its
// time, and no client may hold up the others meanwhile.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "service/server/HttpMessage.h"

namespace mojian::service {

class WorkerPool {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    struct Done {
        std::uint64_t connection;  // as given to Submit
        HttpResponse response;
    };

    // `finished` is called on a worker after each answer, to wake the owner.
    WorkerPool(std::size_t threads, Handler handler, std::function<void()> finished);
    ~WorkerPool();  // finishes the requests already handed over
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void Submit(std::uint64_t connection, HttpRequest request);
    // The answers made since the last call, oldest first.
    std::vector<Done> TakeFinished();

private:
    void Work();

    Handler handler_;
    std::function<void()> finished_;
    std::mutex jobsMutex_;
    std::condition_variable jobAdded_;
    std::deque<std::pair<std::uint64_t, HttpRequest>> jobs_;
    bool stop_ = false;
    std::mutex doneMutex_;
    std::vector<Done> done_;
    std::vector<std::thread> threads_;
};

}  // namespace mojian::service
