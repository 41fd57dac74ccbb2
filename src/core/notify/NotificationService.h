#pragma once

#include "core/base/Scheduler.h"
#include "core/base/Signal.h"
#include "core/notify/NotificationServiceProtocol.h"
#include "core/notify/UnreadCountsSource.h"
#include "platform/LauncherBadge.h"
#include "platform/Notifier.h"

#include <map>
#include <memory>
#include <set>
#include <thread>

namespace orvi {

inline constexpr const char* kUnreadNotificationIdPrefix = "unread-";
inline constexpr const char* kOpenProfileActionIdentifier = "OPEN_PROFILE";
inline constexpr const char* kOpenProfileActionTitle = "Открыть профиль";
inline constexpr const char* kNewMessagesSubtitle = "Новые сообщения";
inline constexpr Duration kNotificationCoalescingDelay{0.8};

// Shows a notification only when a profile's count rises above what the user was last told
// (the baseline), waits briefly so that a burst of changes gives one notification, withdraws
// it when the count falls to zero, and keeps the launcher badge at the total of all profiles.
// State lives on the main thread; calls from other threads are moved there first.
class NotificationService final : public NotificationServiceProtocol, public UnreadCountsSource {
public:
    NotificationService(Scheduler& scheduler, platform::Notifier& notifier, platform::LauncherBadge& badge);
    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;

    void requestPermissionIfNeeded() override;
    void notifyUnread(const Profile& profile, int count) override;
    void rebaseUnread(const Profile& profile, int count) override;
    void updateBadge(int count) override;

    // Asked before each notification is shown; a rise it refuses is taken as seen, so that
    // nothing stale pops up once it allows again. Counts and the badge are never held back.
    void setDeliveryRule(std::function<bool(const ProfileId&)> rule) { m_deliveryRule = std::move(rule); }

    // Drops everything known about a deleted profile: its count leaves the totals and its
    // notification is withdrawn.
    void forgetProfile(const ProfileId& profileId);
    // Forgets every profile not in the list.
    void retainProfiles(const std::set<ProfileId>& existing);

    const std::map<ProfileId, int>& unreadCounts() const { return m_unreadCounts; }
    int totalUnreadCount() const override;
    int unreadCount(const ProfileId& profileId) const override {
        const auto found = m_unreadCounts.find(profileId);
        return found == m_unreadCounts.end() ? 0 : found->second;
    }
    Connection subscribeToUnreadCounts(std::function<void()> slot) override {
        return m_unreadCountsChanged.connect([slot = std::move(slot)] { slot(); });
    }

    // "1 новое сообщение", "3 новых сообщения", "5 новых сообщений".
    static std::string newMessagesText(int count);
    static std::string notificationIdentifier(const ProfileId& profileId);
    // The main window's title: "(7) OrviWrapper" while anything is unread.
    static std::string windowTitle(int totalUnread);

private:
    void deliverCoalescedNotification(const ProfileId& profileId, const std::string& profileName);

    Scheduler& m_scheduler;
    platform::Notifier& m_notifier;
    platform::LauncherBadge& m_badge;
    std::thread::id m_mainThread;
    std::map<ProfileId, int> m_previousUnreadCounts;
    std::map<ProfileId, int> m_unreadCounts;
    std::map<ProfileId, TimerHandle> m_pendingNotifications;
    Signal<> m_unreadCountsChanged;
    std::function<bool(const ProfileId&)> m_deliveryRule;
    std::shared_ptr<char> m_lifetime = std::make_shared<char>();
};

} // namespace orvi
