#pragma once

#include "core/base/Scheduler.h"

#include <map>
#include <mutex>
#include <vector>

namespace orvi::test {

// A scheduler on a virtual clock. Nothing runs until the test advances time or runs the
// posted work, so timing rules are checked deterministically and without sleeps.
// Background work runs inline on the caller's thread, its result is posted as usual.
class ManualScheduler final : public Scheduler {
public:
    void post(Task task) override;
    void postAfter(Duration delay, Task task) override;
    TimerHandle startTimer(Duration delay, Task task) override;
    TimerHandle startRepeatingTimer(Duration interval, Task task) override;
    void runInBackground(Task work) override;
    bool runUntil(const std::function<bool()>& done, Duration timeout) override;
    Clock::time_point now() const override;

    // Runs everything due now, including work that due work posts.
    void runPending();
    // Moves the clock forward, running every task in time order as its moment passes.
    void advance(Duration by);
    // Seconds since the scheduler was made.
    double elapsed() const;
    std::size_t pendingCount() const;

private:
    struct Entry {
        Task task;
        std::shared_ptr<bool> cancelled;
        Duration interval{0};
        bool repeating = false;
    };

    void schedule(Duration delay, Entry entry);
    bool runNextDue(Clock::time_point until);

    mutable std::mutex m_mutex;
    Clock::time_point m_start = Clock::time_point{} + std::chrono::hours(1);
    Clock::time_point m_now = m_start;
    std::multimap<std::pair<Clock::time_point, unsigned long>, Entry> m_queue;
    unsigned long m_sequence = 0;
};

} // namespace orvi::test
