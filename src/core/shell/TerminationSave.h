#pragma once

#include "core/base/Scheduler.h"

#include <functional>
#include <memory>
#include <vector>

namespace orvi {

// The save made when the application ends: the window size, then every registered session
// save, waited for together for at most 2.0 s while the main queue keeps delivering the
// engine's answers (the saves complete through those answers).
class TerminationSave {
public:
    enum class Started { saving, nothingToSave };
    // Calls `done` exactly once when its save has finished, unless it answers
    // `nothingToSave`, in which case it never calls it.
    using Done = std::function<void()>;
    using Hook = std::function<Started(Done done)>;

    static constexpr Duration kTimeout{2.0};

    explicit TerminationSave(Scheduler& scheduler, Duration timeout = kTimeout)
        : m_scheduler(scheduler), m_timeout(timeout) {}

    // Runs first and synchronously; it decides itself whether there is a window to measure.
    void setWindowSizeSave(std::function<void()> save) { m_windowSizeSave = std::move(save); }
    // Session saves start in the order they were added.
    void addHook(Hook hook) { m_hooks.push_back(std::move(hook)); }

    // Runs once per process; later calls return at once. True when every started save
    // finished in time (also when none was started).
    bool run();

private:
    Scheduler& m_scheduler;
    Duration m_timeout;
    std::function<void()> m_windowSizeSave;
    std::vector<Hook> m_hooks;
    bool m_hasRun = false;
};

} // namespace orvi
