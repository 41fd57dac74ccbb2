#pragma once

#include "core/profiles/Profile.h"

namespace orvi {

// Turns per-profile unread counts into desktop notifications and the launcher badge.
class NotificationServiceProtocol {
public:
    virtual ~NotificationServiceProtocol() = default;

    // Asks the desktop whether notifications may be shown; logs the answer.
    virtual void requestPermissionIfNeeded() = 0;
    // The latest unread count of a profile. Safe from any thread.
    virtual void notifyUnread(const Profile& profile, int count) = 0;
    virtual void updateBadge(int count) = 0;
};

} // namespace orvi
