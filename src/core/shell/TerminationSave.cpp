#include "core/shell/TerminationSave.h"

#include "core/base/Log.h"

namespace orvi {

bool TerminationSave::run() {
    if (m_hasRun)
        return true;
    m_hasRun = true;
    logLine("🛑 Application will terminate - saving cookies and storage...");
    if (m_windowSizeSave)
        m_windowSizeSave();

    // Shared with the completions: one that arrives after the wait gave up finds the count
    // still alive and lowers it harmlessly.
    auto pending = std::make_shared<int>(0);
    bool anyStarted = false;
    for (auto& hook : m_hooks) {
        auto called = std::make_shared<bool>(false);
        ++*pending;
        const auto started = hook([pending, called] {
            if (*called)
                return;
            *called = true;
            --*pending;
        });
        if (started == Started::saving) {
            anyStarted = true;
        } else if (!*called) {
            *called = true;
            --*pending;
        }
    }
    // With no web view there is no session to save and nothing more to report.
    if (!anyStarted)
        return true;

    if (m_scheduler.runUntil([pending] { return *pending == 0; }, m_timeout)) {
        logLine("   ✅ All data saved successfully");
        return true;
    }
    logLine("   ⚠️ Save timed out, but proceeding with termination");
    return false;
}

} // namespace orvi
