#pragma once

#include "core/base/Signal.h"
#include "core/notify/NotificationQuietRules.h"
#include "core/notify/UnreadCountsSource.h"
#include "core/profiles/ProfileStoreProtocol.h"
#include "platform/StatusItem.h"

#include <functional>
#include <map>
#include <set>
#include <vector>

namespace orvi {

// What the tray item says and does: a tooltip naming the active profile and the total
// unread count, a left click that brings the window to the front, and a menu that names the
// active profile, switches profiles and quits. It follows the store and the counts, so the
// item is current after every rename, switch or new message.
class StatusBarController {
public:
    struct Actions {
        std::function<void()> presentMainWindow;
        std::function<void()> quit;
    };

    static constexpr int kHeaderItemId = 1;
    static constexpr int kProfilesSeparatorId = 2;
    static constexpr int kQuitSeparatorId = 3;
    static constexpr int kQuitItemId = 4;
    static constexpr int kQuietSeparatorId = 5;
    static constexpr int kQuietHeaderId = 6;
    static constexpr int kQuietForOneHourId = 7;
    static constexpr int kQuietUntilMorningId = 8;
    static constexpr int kQuietUntilTurnedOffId = 9;

    StatusBarController() = default;
    StatusBarController(const StatusBarController&) = delete;
    StatusBarController& operator=(const StatusBarController&) = delete;

    // Called once, after start-up.
    // Without quiet rules the menu offers no do not disturb.
    void setup(platform::StatusItem& item, ProfileStoreProtocol& profileStore, UnreadCountsSource& counts,
               Actions actions, NotificationQuietRules* quietRules = nullptr);
    // Profiles whose page sleeps to save memory: their line says so, their count is the last
    // one they had. May be called before setup.
    void showHibernated(Published<std::set<ProfileId>>& hibernated);
    // "Работа (3)" while the profile has unread messages, else its name; a sleeping
    // profile's line ends in " — усыплён".
    static std::string profileLine(const std::string& name, int unread, bool asleep = false);
    void updateStatusBar();

    // "OrviWrapper, профиль Работа, непрочитанных: 5"; without the count when nothing is unread.
    static std::string toolTipText(const std::string& activeProfileName, int totalUnread);
    static std::string headerText(const std::string& activeProfileName);

private:
    std::vector<platform::StatusMenuItem> menuItems();
    int menuIdFor(const ProfileId& id);
    void menuItemClicked(int id);

    platform::StatusItem* m_statusItem = nullptr;
    ProfileStoreProtocol* m_profileStore = nullptr;
    UnreadCountsSource* m_counts = nullptr;
    NotificationQuietRules* m_quietRules = nullptr;
    // A copy: the model that publishes the set may go first at shutdown.
    std::set<ProfileId> m_hibernated;
    Connection m_hibernatedChanged;
    Actions m_actions;
    // A profile keeps its menu id for the whole run, so a click that raced a menu update
    // still means the profile the user saw.
    std::map<ProfileId, int> m_menuIds;
    int m_nextMenuId = 100;
    std::vector<Connection> m_cancellables;
};

} // namespace orvi
