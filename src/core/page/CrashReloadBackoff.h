#pragma once

#include "core/base/Scheduler.h"

#include <optional>

namespace orvi {

// Spaces the reloads of a page whose content process keeps crashing (1 s, 2 s, 4 s, at most
// 5 s) and gives up once crashes come faster than the reset interval forgives them, so a
// page that crashes on load does not spin forever. Main thread only.
class CrashReloadBackoff {
public:
    static constexpr int kMaxTerminations = 3;
    static constexpr Duration kResetInterval = std::chrono::seconds(10);

    explicit CrashReloadBackoff(Scheduler& scheduler);

    // Counts a crash now; the delay before reloading, or none when reloading must stop.
    std::optional<Duration> nextReloadDelay();

private:
    Scheduler& m_scheduler;
    int m_terminationCount = 0;
    std::optional<Clock::time_point> m_lastTerminationTime;
};

} // namespace orvi
