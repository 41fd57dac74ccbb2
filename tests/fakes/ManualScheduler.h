#pragma once

#include "core/base/Scheduler.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

namespace orvi::test {

// A scheduler on a virtual clock. Nothing runs until the test advances time or runs the
// posted work, so timing rules are checked deterministically and without sleeps.
// Background work runs inline on the caller's thread, its result is posted as usual.
class ManualScheduler final : public Scheduler {
public:
    void post(Task task) override { schedule(Duration(0), Entry{std::move(task), nullptr}); }
    void postAfter(Duration delay, Task task) override { schedule(delay, Entry{std::move(task), nullptr}); }
    TimerHandle startTimer(Duration delay, Task task) override {
        auto cancelled = std::make_shared<bool>(false);
        schedule(delay, Entry{std::move(task), cancelled});
        return TimerHandle(cancelled);
    }
    TimerHandle startRepeatingTimer(Duration interval, Task task) override {
        auto cancelled = std::make_shared<bool>(false);
        schedule(interval, Entry{std::move(task), cancelled, interval, true});
        return TimerHandle(cancelled);
    }
    void runInBackground(Task work) override { work(); }
    bool runUntil(const std::function<bool()>& done, Duration timeout) override {
        const auto deadline = later(timeout);
        while (!done() && runNextDue(deadline)) {
        }
        if (!done()) {
            std::lock_guard lock(m_mutex);
            m_now = std::max(m_now, deadline);
        }
        return done();
    }
    Clock::time_point now() const override {
        std::lock_guard lock(m_mutex);
        return m_now;
    }

    // Runs everything due now, including work that due work posts.
    void runPending() {
        while (runNextDue(now())) {
        }
    }
    // Moves the clock forward, running every task in time order as its moment passes.
    void advance(Duration by) {
        const auto until = later(by);
        while (runNextDue(until)) {
        }
        std::lock_guard lock(m_mutex);
        m_now = until;
    }
    // Seconds since the scheduler was made.
    double elapsed() const { return std::chrono::duration<double>(now() - m_start).count(); }
    std::size_t pendingCount() const {
        std::lock_guard lock(m_mutex);
        return std::count_if(m_queue.begin(), m_queue.end(), [](const auto& item) {
            return !item.second.cancelled || !*item.second.cancelled;
        });
    }

private:
    struct Entry {
        Task task;
        std::shared_ptr<bool> cancelled;
        Duration interval{0};
        bool repeating = false;
    };

    Clock::time_point later(Duration by) const {
        return now() + std::chrono::duration_cast<Clock::duration>(by);
    }
    void schedule(Duration delay, Entry entry) {
        const auto when = later(delay);
        std::lock_guard lock(m_mutex);
        m_queue.emplace(std::make_pair(when, m_sequence++), std::move(entry));
    }
    bool runNextDue(Clock::time_point until) {
        Entry entry;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_queue.begin();
            if (it == m_queue.end() || it->first.first > until)
                return false;
            m_now = std::max(m_now, it->first.first);
            entry = std::move(it->second);
            m_queue.erase(it);
        }
        if (entry.cancelled && *entry.cancelled)
            return true;
        if (entry.repeating)
            schedule(entry.interval, entry);
        else if (entry.cancelled)
            *entry.cancelled = true;
        entry.task();
        return true;
    }

    mutable std::mutex m_mutex;
    Clock::time_point m_start = Clock::time_point{} + std::chrono::hours(1);
    Clock::time_point m_now = m_start;
    std::multimap<std::pair<Clock::time_point, unsigned long>, Entry> m_queue;
    unsigned long m_sequence = 0;
};

} // namespace orvi::test
