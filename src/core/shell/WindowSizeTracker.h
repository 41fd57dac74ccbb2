#pragma once

#include "core/base/Scheduler.h"
#include "core/shell/WindowSizeManager.h"

#include <functional>
#include <optional>

namespace orvi {

// Decides when the main window's size is saved: once a resize has settled for 0.5 s and
// moved by more than 5 points, and whenever the window closes. The window side reports
// what happens to the window and answers what size it has now.
class WindowSizeTracker {
public:
    // The window's current size, or no value once the window is gone.
    using CurrentSize = std::function<std::optional<WindowSize>()>;

    static constexpr Duration kResizeDebounce{0.5};
    static constexpr double kSaveThreshold = 5.0;

    WindowSizeTracker(WindowSizeManager& manager, Scheduler& scheduler, CurrentSize currentSize);

    // The size to give the window when it is set up; it counts as the last saved size.
    // Only the first call sets up; later ones return the same size.
    WindowSize setUpWindow();
    void windowDidResize();
    void windowWillClose();

private:
    void saveIfMoved();

    WindowSizeManager& m_manager;
    Scheduler& m_scheduler;
    CurrentSize m_currentSize;
    std::optional<WindowSize> m_lastSaved;
    TimerHandle m_pendingSave;
};

} // namespace orvi
