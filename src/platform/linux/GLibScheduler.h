#pragma once

#include "core/base/Scheduler.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace orvi::platform {

// The main queue is the default GLib main context.
class GLibScheduler final : public Scheduler {
public:
    GLibScheduler() = default;
    ~GLibScheduler() override;
    GLibScheduler(const GLibScheduler&) = delete;
    GLibScheduler& operator=(const GLibScheduler&) = delete;

    // Finishes the background work already handed over and stops the workers. Called before
    // the objects that work reaches are destroyed; later work runs on the caller's thread.
    void drainBackgroundWork();

    void post(Task task) override;
    void postAfter(Duration delay, Task task) override;
    TimerHandle startTimer(Duration delay, Task task) override;
    TimerHandle startRepeatingTimer(Duration interval, Task task) override;
    void runInBackground(Task work) override;
    bool runUntil(const std::function<bool()>& done, Duration timeout) override;
    Clock::time_point now() const override { return Clock::now(); }

private:
    void workerLoop();

    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::deque<Task> m_queue;
    std::vector<std::thread> m_workers;
    bool m_draining = false;
};

} // namespace orvi::platform
