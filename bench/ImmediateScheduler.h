#pragma once

#include "core/base/Log.h"
#include "core/base/Scheduler.h"

namespace orvi::bench {

// Runs everything at once: the benchmarks measure work, not waiting.
class ImmediateScheduler final : public Scheduler {
public:
    void post(Task task) override { task(); }
    void postAfter(Duration, Task task) override { task(); }
    TimerHandle startTimer(Duration, Task task) override {
        task();
        return {};
    }
    TimerHandle startRepeatingTimer(Duration, Task) override { return {}; }
    void runInBackground(Task work) override { work(); }
    bool runUntil(const std::function<bool()>& done, Duration) override { return done(); }
    Clock::time_point now() const override { return Clock::now(); }
};

// The code under measure logs as it works; printing would be measured with it.
struct QuietLog {
    QuietLog() {
        Log::setSink([](std::string_view) {});
    }
};
inline const QuietLog quietLog;

} // namespace orvi::bench
