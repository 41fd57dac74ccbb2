#include "core/notify/NotificationDelegate.h"

#include <algorithm>

namespace orvi {

NotificationDelegate::NotificationDelegate(Scheduler& scheduler, platform::Notifier& notifier,
                                           std::function<void()> bringToFront)
    : m_scheduler(scheduler), m_bringToFront(std::move(bringToFront)) {
    m_responses = notifier.responses().connect([this](const auto& response) { didReceive(response); });
}

void NotificationDelegate::didReceive(const platform::NotificationResponse& response) {
    const auto profileId = ProfileId::parse(response.target);
    if (!profileId || !m_profileStore)
        return;
    // The switch runs after the desktop's callback has returned, as a fresh main-queue task.
    std::weak_ptr<char> alive = m_lifetime;
    m_scheduler.post([this, alive, id = *profileId] {
        if (!alive.lock() || !m_profileStore)
            return;
        const auto& profiles = m_profileStore->profiles();
        if (std::none_of(profiles.begin(), profiles.end(), [&](const Profile& p) { return p.id == id; }))
            return;
        m_profileStore->setActiveProfile(id);
        if (m_bringToFront)
            m_bringToFront();
    });
}

} // namespace orvi
