#pragma once

#include "core/base/Signal.h"
#include "core/notify/UnreadCountsSource.h"
#include "core/profiles/ProfileStoreProtocol.h"
#include "platform/StatusItem.h"

#include <functional>
#include <map>
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

    StatusBarController() = default;
    StatusBarController(const StatusBarController&) = delete;
    StatusBarController& operator=(const StatusBarController&) = delete;

    // Called once, after start-up.
    void setup(platform::StatusItem& item, ProfileStoreProtocol& profileStore, UnreadCountsSource& counts,
               Actions actions);
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
    Actions m_actions;
    // A profile keeps its menu id for the whole run, so a click that raced a menu update
    // still means the profile the user saw.
    std::map<ProfileId, int> m_menuIds;
    int m_nextMenuId = 100;
    std::vector<Connection> m_cancellables;
};

} // namespace orvi
