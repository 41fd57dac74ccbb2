#pragma once

#include "core/prefs/PreferencesStore.h"

#include <string_view>

namespace orvi {

struct WindowSize {
    double width = 0;
    double height = 0;

    bool operator==(const WindowSize&) const = default;
};

// Stores and reads the main window's size in points.
class WindowSizeManager {
public:
    explicit WindowSizeManager(PreferencesStore& userDefaults) : m_userDefaults(userDefaults) {}

    // Both stored numbers when both are finite and greater than 0; otherwise the default.
    WindowSize getWindowSize() const;
    // Stores both numbers with their fractions; the log shows them truncated to integers.
    // A non-finite size is refused: it could not be applied to a window again.
    void saveWindowSize(double width, double height);
    static WindowSize getDefaultSize() { return {defaultWidth, defaultWidth / defaultAspectRatio}; }
    // Keeps the width and derives the height from 9:16 when the proportions differ from it
    // by more than 0.1.
    static WindowSize adjustSizeToAspectRatio(double width, double height);

    static constexpr std::string_view windowWidthKey = "OrviWrapper.WindowWidth";
    static constexpr std::string_view windowHeightKey = "OrviWrapper.WindowHeight";
    static constexpr double defaultAspectRatio = 0.5625;
    static constexpr double defaultWidth = 450;

private:
    PreferencesStore& m_userDefaults;
};

} // namespace orvi
