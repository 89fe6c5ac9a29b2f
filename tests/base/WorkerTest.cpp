#include "base/Worker.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace mojian {
namespace {

// Holds the worker's thread inside its first value until opened, so values
// are handed over while one is under way.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool entered = false, open = false;

    void Enter() {
        std::unique_lock lock(m);
        entered = true;
        cv.notify_all();
        cv.wait(lock, [&] { return open; });
    }
    void WaitEntered() {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return entered; });
    }
    void Open() {
        const std::lock_guard lock(m);
        open = true;
        cv.notify_all();
    }
};

// What the job saw, written on the worker's thread and read once it is done.
struct Seen {
    std::vector<int> done;
    std::vector<std::uint64_t> numbers;
    std::thread::id startedOn, jobGoneOn;
    bool newerWaitedAtEnd = false;
};

// Notes the thread it is destroyed on: the job's own things go with the job.
struct JobState {
    explicit JobState(Seen& s) : seen(s) {}
    ~JobState() { seen.jobGoneOn = std::this_thread::get_id(); }
    Seen& seen;
};

TEST(Worker, KeepsTheNewestOrEveryValueAndFinishesWhatWaitsAtTheEnd) {
    struct Case {
        Keep keep;
        std::vector<int> done;
    };
    const Case cases[] = {
        {Keep::Newest, {1, 4}},        // 2 and 3 came while 1 was under way: dropped for 4
        {Keep::All, {1, 2, 3, 4}},     // in the order handed over
    };
    for (const Case& c : cases) {
        Gate gate;
        Seen seen;
        {
            Worker<int> worker(c.keep, AtStop::Finish, [&]() -> Worker<int>::Job {
                seen.startedOn = std::this_thread::get_id();
                auto state = std::make_shared<JobState>(seen);
                return [&gate, state](int& value, std::uint64_t number) {
                    if (value == 1) gate.Enter();
                    state->seen.done.push_back(value);
                    state->seen.numbers.push_back(number);
                };
            });
            EXPECT_EQ(worker.Handed(), 0u);
            EXPECT_TRUE(worker.Idle());
            EXPECT_EQ(worker.Hand(1), 1u);
            gate.WaitEntered();
            EXPECT_FALSE(worker.NewerWaits());
            EXPECT_EQ(worker.Hand(2), 2u);
            EXPECT_TRUE(worker.NewerWaits());
            worker.Hand(3);
            worker.Hand(4);
            EXPECT_FALSE(worker.Idle());
            EXPECT_EQ(worker.Handed(), 4u);
            gate.Open();
            worker.WaitFor(2);  // done, or dropped for a newer one that is
            worker.Flush();
            EXPECT_TRUE(worker.Idle());
            EXPECT_EQ(seen.done, c.done);
            // The worker goes on after a flush, and its end finishes what waits.
            worker.Hand(5);
        }
        std::vector<int> expected = c.done;
        expected.push_back(5);
        EXPECT_EQ(seen.done, expected);
        std::vector<std::uint64_t> numbers(expected.begin(), expected.end());
        EXPECT_EQ(seen.numbers, numbers);  // value i was handed over i-th
        EXPECT_NE(seen.startedOn, std::this_thread::get_id());
        EXPECT_EQ(seen.jobGoneOn, seen.startedOn);
    }
}

// Lets the gate open when it is let go undone.
struct Dropped {
    Gate* gate = nullptr;
    int value = 0;
    Dropped(Gate* g, int v) : gate(g), value(v) {}
    Dropped(Dropped&& o) noexcept : gate(std::exchange(o.gate, nullptr)), value(o.value) {}
    Dropped& operator=(Dropped&&) = delete;
    ~Dropped() {
        if (gate) gate->Open();
    }
};

TEST(Worker, GivingUpDropsWhatWaitsAndTellsTheJobUnderWay) {
    struct Case {
        Keep keep;
        int waiting;  // values handed over behind the one under way
    };
    for (const Case& c : {Case{Keep::Newest, 1}, Case{Keep::All, 3}}) {
        Gate gate;
        Seen seen;
        {
            Worker<Dropped> worker(c.keep, AtStop::GiveUp, [&]() -> Worker<Dropped>::Job {
                return [&](Dropped& d, std::uint64_t) {
                    d.gate = nullptr;  // done, not dropped
                    if (d.value == 1) gate.Enter();
                    seen.done.push_back(d.value);
                    seen.newerWaitedAtEnd = worker.NewerWaits();
                };
            });
            worker.Hand(Dropped(&gate, 1));
            gate.WaitEntered();
            for (int i = 0; i < c.waiting; ++i) worker.Hand(Dropped(&gate, 2 + i));
            // Going away lets the waiting values go, which opens the gate: the
            // job under way finishes and hears that it is no longer wanted.
        }
        EXPECT_EQ(seen.done, std::vector<int>{1});
        EXPECT_TRUE(seen.newerWaitedAtEnd);
    }
}

TEST(Worker, ItsThreadStartsWithTheFirstValue) {
    int starts = 0;  // read once the worker's thread is done with it
    const auto start = [&]() -> Worker<int>::Job {
        ++starts;
        return [](int&, std::uint64_t) {};
    };
    {
        Worker<int> idle(Keep::Newest, AtStop::Finish, start);
        idle.Flush();  // nothing handed over: nothing to wait for
        EXPECT_TRUE(idle.Idle());
    }
    EXPECT_EQ(starts, 0);
    {
        Worker<int> used(Keep::All, AtStop::Finish, start);
        used.Hand(1);
        used.Hand(2);
        used.Flush();
    }
    EXPECT_EQ(starts, 1);
    {
        // Idle, the thread ends; the next value starts another.
        Worker<int> lingering(Keep::All, AtStop::Finish, start, std::chrono::milliseconds(5));
        for (int round = 0; round < 3; ++round) {
            lingering.Hand(round);
            lingering.Flush();
            while (lingering.Running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_EQ(starts, 4);
}

}  // namespace
}  // namespace mojian
