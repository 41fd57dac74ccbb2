#include "core/shell/WindowSizeManager.h"

#include "core/base/Log.h"

#include <cmath>

namespace orvi {
namespace {

bool usable(double value) {
    return std::isfinite(value) && value > 0;
}

std::string truncated(double value) {
    // Sizes come from the window system; the guard only keeps the conversion defined.
    if (std::fabs(value) >= 9.0e18)
        return std::to_string(value);
    return std::to_string(static_cast<long long>(std::trunc(value)));
}

} // namespace

WindowSize WindowSizeManager::getWindowSize() const {
    const double width = m_userDefaults.number(windowWidthKey);
    const double height = m_userDefaults.number(windowHeightKey);
    if (usable(width) && usable(height))
        return {width, height};
    return getDefaultSize();
}

void WindowSizeManager::saveWindowSize(double width, double height) {
    if (!std::isfinite(width) || !std::isfinite(height)) {
        logLine("⚠️ Window size not saved: not a finite size");
        return;
    }
    const bool stored =
        m_userDefaults.setNumber(windowWidthKey, width) && m_userDefaults.setNumber(windowHeightKey, height);
    if (!stored) {
        logLine("❌ Failed to save window size: " + truncated(width) + "x" + truncated(height));
        return;
    }
    logLine("💾 Saved window size: " + truncated(width) + "x" + truncated(height));
}

WindowSize WindowSizeManager::adjustSizeToAspectRatio(double width, double height) {
    if (std::fabs(width / height - defaultAspectRatio) > 0.1)
        return {width, width / defaultAspectRatio};
    return {width, height};
}

} // namespace orvi
