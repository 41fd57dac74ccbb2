#pragma once

#include <cstdint>

namespace orvi::platform {

// The number shown on the application's launcher or dock icon.
class LauncherBadge {
public:
    virtual ~LauncherBadge() = default;

    // 0 hides the badge.
    virtual void setCount(std::int64_t count) = 0;
};

} // namespace orvi::platform
