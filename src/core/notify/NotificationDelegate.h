#pragma once

#include "core/base/Scheduler.h"
#include "core/base/Signal.h"
#include "core/profiles/ProfileStoreProtocol.h"
#include "platform/Notifier.h"

#include <functional>
#include <memory>

namespace orvi {

// Reacts to clicks on unread notifications, on the body or on "Открыть профиль" alike: the
// profile they name becomes active and the window comes to the front. A click whose profile
// identifier is malformed or names no profile changes nothing.
class NotificationDelegate {
public:
    NotificationDelegate(Scheduler& scheduler, platform::Notifier& notifier,
                         std::function<void()> bringToFront);
    NotificationDelegate(const NotificationDelegate&) = delete;
    NotificationDelegate& operator=(const NotificationDelegate&) = delete;

    // Empty until the main window first appears; clicks before that change nothing.
    void setProfileStore(ProfileStoreProtocol* profileStore) { m_profileStore = profileStore; }

private:
    void didReceive(const platform::NotificationResponse& response);

    Scheduler& m_scheduler;
    std::function<void()> m_bringToFront;
    ProfileStoreProtocol* m_profileStore = nullptr;
    Connection m_responses;
    std::shared_ptr<char> m_lifetime = std::make_shared<char>();
};

} // namespace orvi
