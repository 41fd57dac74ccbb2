#pragma once

#include "core/base/Signal.h"
#include "ui/ProfileForm.h"

#include <gtkmm.h>
#include <memory>

namespace orvi {
class MainWebViewModel;
}

namespace orvi::ui {

// The profiles sheet: one row per profile (name, its mode, storage and calls line, the
// active mark and unread badge), choosing a row switches to it and closes the sheet; rows
// can be edited and, while more than one profile exists, deleted after a confirmation.
class ProfilesScreen final : public Gtk::Window {
public:
    ProfilesScreen(Gtk::Window& parent, ProfilesViewModel& profiles,
                   std::shared_ptr<MainWebViewModel> mainModel, ProfileForm::BrowserImport import);
    ~ProfilesScreen() override;

    ProfileForm& showAddForm();
    ProfileForm& showEditForm(const Profile& profile);
    void askToDelete(const Profile& profile);
    // For the screens' tests and the screenshot tour.
    int deleteButtonCount() const { return m_deleteButtons; }
    ProfileForm* form() { return m_form.get(); }

private:
    void rebuild();
    GtkWidget* row(const Profile& profile, bool active, int unread, bool asleep, bool deletable);

    ProfilesViewModel& m_profiles;
    std::shared_ptr<MainWebViewModel> m_mainModel;
    ProfileForm::BrowserImport m_import;
    Gtk::HeaderBar m_header;
    Gtk::Button m_done{"Готово"};
    Gtk::Button m_add;
    Gtk::ScrolledWindow m_scroll;
    Gtk::ListBox m_list;
    int m_deleteButtons = 0;
    std::unique_ptr<ProfileForm> m_form;
    GtkWidget* m_deleteDialog = nullptr;
    Connection m_profilesChanged;
    Connection m_activeChanged;
    Connection m_countsChanged;
    Connection m_hibernatedChanged;
};

} // namespace orvi::ui
