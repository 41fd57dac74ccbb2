#include "ui/ProfileMenu.h"

#include "core/profiles/ProfilesViewModel.h"
#include "core/shell/MainWebViewModel.h"
#include "ui/AdwWidgets.h"

namespace orvi::ui {

namespace {

int countFor(const std::map<ProfileId, int>& counts, const ProfileId& id) {
    const auto found = counts.find(id);
    return found == counts.end() ? 0 : found->second;
}

Gtk::Button* menuItem(const std::string& text, const std::string& iconName) {
    auto* button = Gtk::make_managed<Gtk::Button>();
    button->add_css_class("flat");
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    if (!iconName.empty())
        box->append(*adw::icon(iconName));
    auto* label = Gtk::make_managed<Gtk::Label>(text);
    label->set_xalign(0);
    label->set_hexpand(true);
    label->set_ellipsize(Pango::EllipsizeMode::END);
    label->set_max_width_chars(24);
    box->append(*label);
    button->set_child(*box);
    return button;
}

} // namespace

ProfileMenu::ProfileMenu(ProfilesViewModel& profiles, std::shared_ptr<MainWebViewModel> mainModel)
    : m_profiles(profiles), m_mainModel(std::move(mainModel)) {
    m_name.add_css_class("heading");
    m_name.set_ellipsize(Pango::EllipsizeMode::END);
    m_name.set_max_width_chars(12);
    m_badge.add_css_class("unread-badge");
    m_badge.set_valign(Gtk::Align::CENTER);
    m_chevron.set_from_icon_name("pan-down-symbolic");
    m_chevron.add_css_class("dim-label");
    m_label.append(m_name);
    m_label.append(m_badge);
    m_label.append(m_chevron);
    set_child(m_label);
    set_tooltip_text("Профиль");
    m_items.set_margin(4);
    m_popover.set_child(m_items);
    set_popover(m_popover);

    m_profilesChanged = m_profiles.profiles.subscribe([this](const auto&) { rebuild(); });
    m_activeChanged = m_mainModel->activeProfile.subscribe([this](const auto&) { rebuild(); });
    m_countsChanged = m_mainModel->unreadCounts.subscribe([this](const auto&) { rebuild(); });
    m_hibernatedChanged = m_mainModel->hibernatedProfiles.subscribe([this](const auto&) { rebuild(); });
    rebuild();
}

void ProfileMenu::rebuild() {
    const auto& active = m_profiles.activeProfile();
    const auto& counts = m_mainModel->unreadCounts();
    m_name.set_text(active.name);
    const int activeCount = countFor(counts, active.id);
    m_badge.set_text(std::to_string(activeCount));
    m_badge.set_visible(activeCount > 0);

    while (auto* child = m_items.get_first_child())
        m_items.remove(*child);
    const auto& hibernated = m_mainModel->hibernatedProfiles();
    for (const auto& profile : m_profiles.profiles()) {
        auto* item = menuItem(profile.name, "");
        auto* box = static_cast<Gtk::Box*>(item->get_child());
        // A sleeping profile's count is the one it had when its page was dropped.
        const bool asleep = hibernated.count(profile.id) > 0;
        if (asleep) {
            box->add_css_class("dim-label");
            auto* moon = adw::icon("weather-clear-night-symbolic");
            moon->set_tooltip_text("Профиль усыплён");
            box->append(*moon);
        }
        if (const int count = countFor(counts, profile.id); count > 0) {
            auto* badge = Gtk::make_managed<Gtk::Label>(std::to_string(count));
            badge->add_css_class("unread-badge");
            if (asleep)
                badge->add_css_class("stale");
            badge->set_valign(Gtk::Align::CENTER);
            box->append(*badge);
        }
        auto* check = adw::icon("object-select-symbolic");
        // Kept in place while hidden, so names line up whichever profile is active.
        check->set_opacity(profile.id == active.id ? 1.0 : 0.0);
        box->append(*check);
        item->signal_clicked().connect([this, id = profile.id] {
            m_popover.popdown();
            // The switch rebuilds this list, so it must not run inside the item's own handler.
            Glib::signal_idle().connect_once(
                sigc::track_obj([this, id] { m_profiles.selectProfile(id); }, *this));
        });
        m_items.append(*item);
    }
    m_items.append(*Gtk::make_managed<Gtk::Separator>());
    for (const auto& [text, icon, action] :
         {std::tuple{"Добавить профиль", "list-add-symbolic", "app.add-profile"},
          std::tuple{"Профили", "system-users-symbolic", "app.profiles"}}) {
        auto* item = menuItem(text, icon);
        item->set_action_name(action);
        item->signal_clicked().connect([this] { m_popover.popdown(); });
        m_items.append(*item);
    }
}

} // namespace orvi::ui
