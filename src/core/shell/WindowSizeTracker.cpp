#include "core/shell/WindowSizeTracker.h"

#include <cmath>

namespace orvi {

WindowSizeTracker::WindowSizeTracker(WindowSizeManager& manager, Scheduler& scheduler,
                                     CurrentSize currentSize)
    : m_manager(manager), m_scheduler(scheduler), m_currentSize(std::move(currentSize)) {}

WindowSize WindowSizeTracker::setUpWindow() {
    if (!m_lastSaved)
        m_lastSaved = m_manager.getWindowSize();
    return *m_lastSaved;
}

void WindowSizeTracker::windowDidResize() {
    // The handle cancels the previous save; it is owned by this tracker, so a save never
    // runs after the tracker is gone.
    m_pendingSave = m_scheduler.startTimer(kResizeDebounce, [this] { saveIfMoved(); });
}

void WindowSizeTracker::saveIfMoved() {
    auto size = m_currentSize();
    if (!size || !std::isfinite(size->width) || !std::isfinite(size->height))
        return;
    const auto last = m_lastSaved.value_or(WindowSize{});
    if (std::fabs(size->width - last.width) > kSaveThreshold ||
        std::fabs(size->height - last.height) > kSaveThreshold) {
        m_manager.saveWindowSize(size->width, size->height);
        m_lastSaved = *size;
    }
}

void WindowSizeTracker::windowWillClose() {
    m_pendingSave.cancel();
    auto size = m_currentSize();
    if (!size)
        return;
    m_manager.saveWindowSize(size->width, size->height);
    m_lastSaved = *size;
}

} // namespace orvi
