#include "core/notify/NotificationService.h"

#include "core/base/Log.h"

#include <algorithm>
#include <numeric>

namespace orvi {

NotificationService::NotificationService(Scheduler& scheduler, platform::Notifier& notifier,
                                         platform::LauncherBadge& badge)
    : m_scheduler(scheduler), m_notifier(notifier), m_badge(badge), m_mainThread(std::this_thread::get_id()) {
    m_notifier.registerActions({{kOpenProfileActionIdentifier, kOpenProfileActionTitle}});
}

std::string NotificationService::newMessagesText(int count) {
    const int lastTwo = count % 100;
    const int last = count % 10;
    const char* form = "новых сообщений";
    if (lastTwo >= 11 && lastTwo <= 14)
        form = "новых сообщений";
    else if (last == 1)
        form = "новое сообщение";
    else if (last >= 2 && last <= 4)
        form = "новых сообщения";
    return std::to_string(count) + " " + form;
}

std::string NotificationService::notificationIdentifier(const ProfileId& profileId) {
    return kUnreadNotificationIdPrefix + profileId.text();
}

std::string NotificationService::windowTitle(int totalUnread) {
    if (totalUnread <= 0)
        return "OrviWrapper";
    // Appended rather than prefixed: GCC 12 at -O3 reports a false overlap in the inlined
    // prefix insertion (-Werror=restrict).
    std::string title = "(";
    title += std::to_string(totalUnread);
    title += ") OrviWrapper";
    return title;
}

int NotificationService::totalUnreadCount() const {
    return std::accumulate(m_unreadCounts.begin(), m_unreadCounts.end(), 0,
                           [](int sum, const auto& entry) { return sum + entry.second; });
}

void NotificationService::requestPermissionIfNeeded() {
    m_notifier.requestAuthorization([](bool granted, std::optional<std::string> error) {
        if (granted)
            Log::line("Notification permission granted");
        else if (error)
            Log::line("Notification permission not granted: " + *error);
    });
}

void NotificationService::notifyUnread(const Profile& profile, int count) {
    if (std::this_thread::get_id() != m_mainThread) {
        std::weak_ptr<char> alive = m_lifetime;
        m_scheduler.post([this, alive, profile, count] {
            if (alive.lock())
                notifyUnread(profile, count);
        });
        return;
    }
    const ProfileId profileId = profile.id;
    const std::string profileName = profile.name;
    count = std::max(count, 0);
    const auto baseline = m_previousUnreadCounts.find(profileId);
    const bool hasBaseline = baseline != m_previousUnreadCounts.end();
    m_unreadCounts[profileId] = count;
    const int total = totalUnreadCount();

    // The counts already there when a profile first reports were never news to the user.
    if (!hasBaseline) {
        m_previousUnreadCounts[profileId] = count;
    } else {
        m_pendingNotifications.erase(profileId);
        if (count > baseline->second) {
            m_pendingNotifications[profileId] =
                m_scheduler.startTimer(kNotificationCoalescingDelay, [this, profileId, profileName] {
                    deliverCoalescedNotification(profileId, profileName);
                });
        } else {
            baseline->second = count;
        }
    }
    // Also on a first report: a notification an earlier run left on screen is stale now.
    if (count == 0)
        m_notifier.withdraw(notificationIdentifier(profileId));
    updateBadge(total);
    m_unreadCountsChanged.emit();
}

void NotificationService::rebaseUnread(const Profile& profile, int count) {
    count = std::max(count, 0);
    m_pendingNotifications.erase(profile.id);
    m_unreadCounts[profile.id] = count;
    m_previousUnreadCounts[profile.id] = count;
    if (count == 0)
        m_notifier.withdraw(notificationIdentifier(profile.id));
    updateBadge(totalUnreadCount());
    m_unreadCountsChanged.emit();
}

void NotificationService::deliverCoalescedNotification(const ProfileId& profileId,
                                                       const std::string& profileName) {
    m_pendingNotifications.erase(profileId);
    const auto latest = m_unreadCounts.find(profileId);
    const auto baseline = m_previousUnreadCounts.find(profileId);
    if (latest == m_unreadCounts.end() || baseline == m_previousUnreadCounts.end() ||
        latest->second <= baseline->second)
        return;

    if (m_deliveryRule && !m_deliveryRule(profileId)) {
        baseline->second = latest->second;
        Log::line("🔕 Notification held back for profile: " + profileName);
        return;
    }

    platform::Notification notification;
    notification.identifier = notificationIdentifier(profileId);
    notification.title = profileName;
    notification.subtitle = kNewMessagesSubtitle;
    notification.body = newMessagesText(latest->second - baseline->second);
    notification.buttons.push_back({kOpenProfileActionIdentifier, kOpenProfileActionTitle});
    notification.target = profileId.text();
    baseline->second = latest->second;

    const int count = latest->second;
    m_notifier.post(notification, [profileName, count](std::optional<std::string> error) {
        if (error)
            Log::line("❌ Notification error: " + *error);
        else
            Log::line("✅ Notification sent for profile: " + profileName +
                      ", count: " + std::to_string(count));
    });
}

void NotificationService::updateBadge(int count) {
    if (std::this_thread::get_id() != m_mainThread) {
        std::weak_ptr<char> alive = m_lifetime;
        m_scheduler.post([this, alive, count] {
            if (alive.lock())
                updateBadge(count);
        });
        return;
    }
    m_badge.setCount(std::max(count, 0));
}

void NotificationService::forgetProfile(const ProfileId& profileId) {
    const bool known = m_unreadCounts.count(profileId) || m_previousUnreadCounts.count(profileId);
    m_pendingNotifications.erase(profileId);
    m_previousUnreadCounts.erase(profileId);
    const bool counted = m_unreadCounts.erase(profileId) > 0;
    if (!known)
        return;
    m_notifier.withdraw(notificationIdentifier(profileId));
    if (counted) {
        updateBadge(totalUnreadCount());
        m_unreadCountsChanged.emit();
    }
}

void NotificationService::retainProfiles(const std::set<ProfileId>& existing) {
    std::vector<ProfileId> gone;
    for (const auto& [id, count] : m_previousUnreadCounts)
        if (!existing.count(id))
            gone.push_back(id);
    for (const auto& id : gone)
        forgetProfile(id);
}

} // namespace orvi
