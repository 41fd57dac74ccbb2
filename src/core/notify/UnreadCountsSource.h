#pragma once

#include "core/base/ProfileId.h"
#include "core/base/Signal.h"

#include <functional>

namespace orvi {

// Where the tray and the window title read the total unread count of all profiles.
class UnreadCountsSource {
public:
    virtual ~UnreadCountsSource() = default;

    virtual int totalUnreadCount() const = 0;
    // The last count of one profile; 0 for a profile that never reported.
    virtual int unreadCount(const ProfileId& profileId) const = 0;
    // Told after every change of a count or of the set of profiles counted.
    [[nodiscard]] virtual Connection subscribeToUnreadCounts(std::function<void()> slot) = 0;
};

} // namespace orvi
