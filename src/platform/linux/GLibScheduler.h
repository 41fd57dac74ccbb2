#pragma once

#include "core/base/Scheduler.h"

namespace orvi::platform {

// The main queue is the default GLib main context.
class GLibScheduler final : public Scheduler {
public:
    void post(Task task) override;
    void postAfter(Duration delay, Task task) override;
    TimerHandle startTimer(Duration delay, Task task) override;
    TimerHandle startRepeatingTimer(Duration interval, Task task) override;
    void runInBackground(Task work) override;
    bool runUntil(const std::function<bool()>& done, Duration timeout) override;
    Clock::time_point now() const override { return Clock::now(); }
};

} // namespace orvi::platform
