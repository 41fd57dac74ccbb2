#include "core/page/CrashReloadBackoff.h"

#include "core/base/Log.h"

#include <algorithm>
#include <cmath>

namespace orvi {

CrashReloadBackoff::CrashReloadBackoff(Scheduler& scheduler) : m_scheduler(scheduler) {}

std::optional<Duration> CrashReloadBackoff::nextReloadDelay() {
    const auto now = m_scheduler.now();
    if (m_lastTerminationTime && now - *m_lastTerminationTime > kResetInterval)
        m_terminationCount = 0;
    ++m_terminationCount;
    m_lastTerminationTime = now;
    logLine("⚠️ WebView process terminated (count: " + std::to_string(m_terminationCount) + "/" +
            std::to_string(kMaxTerminations) + ")");
    if (m_terminationCount > kMaxTerminations) {
        logLine("❌ Too many process terminations, stopping reload attempts");
        return std::nullopt;
    }
    return Duration(std::min(std::pow(2.0, m_terminationCount - 1), 5.0));
}

} // namespace orvi
