#include "core/shell/HeapRelease.h"

namespace orvi {

HeapRelease::HeapRelease(Scheduler& scheduler, Duration quiet, std::function<void()> release)
    : m_scheduler(scheduler), m_quiet(quiet), m_release(std::move(release)) {}

void HeapRelease::noteWork() {
    // The handle is ours: dropping it with this object cancels the release.
    m_pending = m_scheduler.startTimer(m_quiet, [this] { m_release(); });
}

} // namespace orvi
