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
    // A count the user is taken to know already (a page's first after a new document): it
    // updates the totals and becomes what later rises are measured from. Main thread only.
    virtual void rebaseUnread(const Profile& profile, int count) = 0;
    virtual void updateBadge(int count) = 0;
};

} // namespace orvi
