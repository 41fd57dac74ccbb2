#include "core/notify/StatusBarController.h"

namespace orvi {

namespace {
constexpr const char* kQuitTitle = "Выход";
constexpr const char* kQuitKey = "q";
constexpr const char* kQuietTitle = "Не беспокоить";
// Choosing the checked entry again turns do not disturb off.
constexpr std::pair<int, DoNotDisturb> kQuietEntries[] = {
    {StatusBarController::kQuietForOneHourId, DoNotDisturb::forOneHour},
    {StatusBarController::kQuietUntilMorningId, DoNotDisturb::untilMorning},
    {StatusBarController::kQuietUntilTurnedOffId, DoNotDisturb::untilTurnedOff},
};
const char* quietLabel(DoNotDisturb kind) {
    switch (kind) {
    case DoNotDisturb::forOneHour:
        return "на 1 час";
    case DoNotDisturb::untilMorning:
        return "до утра";
    case DoNotDisturb::untilTurnedOff:
        break;
    }
    return "пока не выключу";
}
} // namespace

std::string StatusBarController::toolTipText(const std::string& activeProfileName, int totalUnread) {
    std::string text = "OrviWrapper, профиль " + activeProfileName;
    if (totalUnread >= 1)
        text += ", непрочитанных: " + std::to_string(totalUnread);
    return text;
}

std::string StatusBarController::profileLine(const std::string& name, int unread, bool asleep) {
    const auto line = unread > 0 ? name + " (" + std::to_string(unread) + ")" : name;
    return asleep ? line + " — усыплён" : line;
}

void StatusBarController::showHibernated(Published<std::set<ProfileId>>& hibernated) {
    m_hibernated = hibernated();
    m_hibernatedChanged = hibernated.subscribe([this](const std::set<ProfileId>& now) {
        m_hibernated = now;
        updateStatusBar();
    });
    updateStatusBar();
}

std::string StatusBarController::headerText(const std::string& activeProfileName) {
    return "Активный профиль: " + activeProfileName;
}

void StatusBarController::setup(platform::StatusItem& item, ProfileStoreProtocol& profileStore,
                                UnreadCountsSource& counts, Actions actions,
                                NotificationQuietRules* quietRules) {
    m_statusItem = &item;
    m_quietRules = quietRules;
    m_profileStore = &profileStore;
    m_counts = &counts;
    m_actions = std::move(actions);
    m_cancellables.clear();
    updateStatusBar();
    m_cancellables.push_back(
        profileStore.subscribeToActiveProfile([this](const Profile&) { updateStatusBar(); }));
    m_cancellables.push_back(profileStore.subscribeToProfiles([this](const auto&) { updateStatusBar(); }));
    m_cancellables.push_back(counts.subscribeToUnreadCounts([this] { updateStatusBar(); }));
    m_cancellables.push_back(item.activated().connect([this] {
        if (m_actions.presentMainWindow)
            m_actions.presentMainWindow();
    }));
    m_cancellables.push_back(item.menuItemClicked().connect([this](int id) { menuItemClicked(id); }));
}

void StatusBarController::updateStatusBar() {
    if (!m_statusItem || !m_profileStore || !m_counts)
        return;
    m_statusItem->setToolTip(toolTipText(m_profileStore->activeProfile().name, m_counts->totalUnreadCount()));
    m_statusItem->setMenu(menuItems());
}

int StatusBarController::menuIdFor(const ProfileId& id) {
    auto [it, inserted] = m_menuIds.emplace(id, m_nextMenuId);
    if (inserted)
        ++m_nextMenuId;
    return it->second;
}

std::vector<platform::StatusMenuItem> StatusBarController::menuItems() {
    using Item = platform::StatusMenuItem;
    std::vector<Item> items;
    const auto& active = m_profileStore->activeProfile();
    Item header;
    header.id = kHeaderItemId;
    header.label = headerText(active.name);
    header.enabled = false;
    items.push_back(header);
    items.push_back(Item{kProfilesSeparatorId, Item::Kind::Separator});
    for (const auto& profile : m_profileStore->profiles()) {
        Item entry;
        entry.id = menuIdFor(profile.id);
        entry.label =
            profileLine(profile.name, m_counts->unreadCount(profile.id), m_hibernated.count(profile.id) > 0);
        entry.toggle = Item::Toggle::Radio;
        entry.checked = profile.id == active.id;
        items.push_back(entry);
    }
    if (m_quietRules) {
        items.push_back(Item{kQuietSeparatorId, Item::Kind::Separator});
        Item header;
        header.id = kQuietHeaderId;
        header.label = kQuietTitle;
        header.enabled = false;
        items.push_back(header);
        const auto current = m_quietRules->doNotDisturbKind();
        for (const auto& [id, kind] : kQuietEntries) {
            Item entry;
            entry.id = id;
            entry.label = quietLabel(kind);
            entry.toggle = Item::Toggle::Radio;
            entry.checked = current == kind;
            items.push_back(entry);
        }
    }
    items.push_back(Item{kQuitSeparatorId, Item::Kind::Separator});
    Item quit;
    quit.id = kQuitItemId;
    // Built, not assigned from the C strings: GCC 12 at -O3 reports a false overlap in the
    // inlined assignment (-Werror=restrict).
    quit.label = std::string(kQuitTitle);
    quit.shortcutKey = std::string(kQuitKey);
    items.push_back(quit);
    return items;
}

void StatusBarController::menuItemClicked(int id) {
    if (id == kQuitItemId) {
        if (m_actions.quit)
            m_actions.quit();
        return;
    }
    for (const auto& [quietId, kind] : kQuietEntries) {
        if (quietId != id || !m_quietRules)
            continue;
        if (m_quietRules->doNotDisturbKind() == kind)
            m_quietRules->stopDoNotDisturb();
        else
            m_quietRules->startDoNotDisturb(kind);
        updateStatusBar();
        return;
    }
    for (const auto& [profileId, menuId] : m_menuIds) {
        if (menuId == id) {
            // The store ignores a profile deleted since the menu was drawn.
            m_profileStore->setActiveProfile(profileId);
            return;
        }
    }
}

} // namespace orvi
