#pragma once

#include "core/base/Scheduler.h"

#include <functional>

namespace orvi {

// Loading a page leaves megabytes free inside the allocator's heap, which it keeps for later
// unless asked. Once the application has been quiet for a while after such work (start-up,
// a profile's page loading), the free pages are handed back to the system.
class HeapRelease {
public:
    HeapRelease(Scheduler& scheduler, Duration quiet, std::function<void()> release);

    // Busy work happened: the release runs `quiet` after the last call, once.
    void noteWork();

private:
    Scheduler& m_scheduler;
    Duration m_quiet;
    std::function<void()> m_release;
    TimerHandle m_pending;
};

} // namespace orvi
