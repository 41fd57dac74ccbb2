#pragma once

#include "core/base/Signal.h"

#include <gtkmm.h>
#include <memory>

namespace orvi {
class MainWebViewModel;
class ProfilesViewModel;
} // namespace orvi

namespace orvi::ui {

// The header bar's profile switcher: the active profile's name with its unread badge, and a
// popover listing every profile (checkmark on the active one, badges on those with unread
// messages), "Добавить профиль" and the profiles screen.
class ProfileMenu final : public Gtk::MenuButton {
public:
    ProfileMenu(ProfilesViewModel& profiles, std::shared_ptr<MainWebViewModel> mainModel);

private:
    void rebuild();

    ProfilesViewModel& m_profiles;
    std::shared_ptr<MainWebViewModel> m_mainModel;
    Gtk::Box m_label{Gtk::Orientation::HORIZONTAL, 6};
    Gtk::Label m_name;
    Gtk::Label m_badge;
    Gtk::Image m_chevron;
    Gtk::Popover m_popover;
    Gtk::Box m_items{Gtk::Orientation::VERTICAL, 2};
    Connection m_profilesChanged;
    Connection m_activeChanged;
    Connection m_countsChanged;
    Connection m_hibernatedChanged;
};

} // namespace orvi::ui
