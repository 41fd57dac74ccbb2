#include "ui/ProfilesScreen.h"

#include "core/shell/MainWebViewModel.h"
#include "ui/AdwWidgets.h"
#include "ui/SheetWindow.h"

namespace orvi::ui {

namespace {

std::string detailLine(const Profile& profile) {
    std::string line;
    if (profile.desktopMode)
        line += "Desktop · ";
    line += profile.storageType == StorageType::persistentMain ? "Основной" : "Временный";
    if (!profile.callsEnabled)
        line += " · Звонки отключены";
    return line;
}

Gtk::Button* iconButton(const std::string& iconName, const std::string& tooltip) {
    auto* button = Gtk::make_managed<Gtk::Button>();
    button->set_icon_name(iconName);
    button->set_tooltip_text(tooltip);
    button->set_valign(Gtk::Align::CENTER);
    button->add_css_class("flat");
    return button;
}

} // namespace

ProfilesScreen::ProfilesScreen(Gtk::Window& parent, ProfilesViewModel& profiles,
                               std::shared_ptr<MainWebViewModel> mainModel, ProfileForm::BrowserImport import)
    : m_profiles(profiles), m_mainModel(std::move(mainModel)), m_import(std::move(import)) {
    makeSheet(*this, parent, "Профили", m_header);
    auto* addContent = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    addContent->append(*adw::icon("list-add-symbolic"));
    addContent->append(*Gtk::make_managed<Gtk::Label>("Добавить"));
    m_add.set_child(*addContent);
    m_done.add_css_class("suggested-action");
    m_header.pack_start(m_add);
    m_header.pack_end(m_done);
    m_done.signal_clicked().connect([this] { close(); });
    m_add.signal_clicked().connect([this] { showAddForm(); });

    m_list.add_css_class("boxed-list");
    m_list.set_selection_mode(Gtk::SelectionMode::NONE);
    m_list.set_valign(Gtk::Align::START);
    m_list.set_margin(12);
    m_scroll.set_child(m_list);
    m_scroll.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    set_child(m_scroll);

    m_profilesChanged = m_profiles.profiles.subscribe([this](const auto&) { rebuild(); });
    m_activeChanged = m_mainModel->activeProfile.subscribe([this](const auto&) { rebuild(); });
    m_countsChanged = m_mainModel->unreadCounts.subscribe([this](const auto&) { rebuild(); });
    m_hibernatedChanged = m_mainModel->hibernatedProfiles.subscribe([this](const auto&) { rebuild(); });
    rebuild();
}

ProfilesScreen::~ProfilesScreen() {
    if (m_deleteDialog)
        gtk_window_destroy(GTK_WINDOW(m_deleteDialog));
}

void ProfilesScreen::rebuild() {
    while (auto* child = m_list.get_first_child())
        m_list.remove(*child);
    m_deleteButtons = 0;
    const auto& counts = m_mainModel->unreadCounts();
    const auto activeId = m_profiles.activeProfile().id;
    const bool deletable = m_profiles.canDeleteProfiles();
    for (const auto& profile : m_profiles.profiles()) {
        const auto count = counts.find(profile.id);
        gtk_list_box_append(m_list.gobj(),
                            row(profile, profile.id == activeId, count == counts.end() ? 0 : count->second,
                                m_mainModel->hibernatedProfiles().count(profile.id) > 0, deletable));
    }
}

GtkWidget* ProfilesScreen::row(const Profile& profile, bool active, int unread, bool asleep, bool deletable) {
    auto* row = adw::actionRow(profile.name, detailLine(profile));
    gtk_list_box_row_set_activatable(GTK_LIST_BOX_ROW(row), TRUE);
    if (!profile.callsEnabled)
        gtk_widget_add_css_class(row, "calls-off-row");
    if (active) {
        auto* check = adw::icon("emblem-ok-symbolic");
        check->add_css_class("accent");
        check->set_tooltip_text("Активный профиль");
        adw::addSuffix(row, *check);
    }
    // A sleeping profile's count is the one it had when its page was dropped.
    if (asleep) {
        auto* moon = adw::icon("weather-clear-night-symbolic");
        moon->add_css_class("dim-label");
        moon->set_tooltip_text("Профиль усыплён");
        adw::addSuffix(row, *moon);
    }
    if (unread > 0) {
        auto* badge = Gtk::make_managed<Gtk::Label>(std::to_string(unread));
        badge->add_css_class("unread-badge");
        if (asleep)
            badge->add_css_class("stale");
        badge->set_valign(Gtk::Align::CENTER);
        adw::addSuffix(row, *badge);
    }
    auto* edit = iconButton("document-edit-symbolic", "Редактировать профиль");
    edit->add_css_class("accent");
    edit->signal_clicked().connect([this, profile] { showEditForm(profile); });
    adw::addSuffix(row, *edit);
    if (deletable) {
        auto* remove = iconButton("user-trash-symbolic", "Удалить профиль");
        remove->add_css_class("error");
        remove->signal_clicked().connect([this, profile] { askToDelete(profile); });
        adw::addSuffix(row, *remove);
        ++m_deleteButtons;
    }
    adw::connect<>(row, "activated", std::function<void()>([this, id = profile.id] {
                       // Switching rebuilds these rows; leave the row's handler first.
                       Glib::signal_idle().connect_once(sigc::track_obj(
                           [this, id] {
                               m_profiles.selectProfile(id);
                               close();
                           },
                           *this));
                   }));
    return row;
}

ProfileForm& ProfilesScreen::showAddForm() {
    return presentOwned(m_form, std::make_unique<ProfileForm>(*this, m_profiles, m_import));
}

ProfileForm& ProfilesScreen::showEditForm(const Profile& profile) {
    return presentOwned(m_form, std::make_unique<ProfileForm>(*this, m_profiles, profile));
}

void ProfilesScreen::askToDelete(const Profile& profile) {
    if (m_deleteDialog)
        gtk_window_destroy(GTK_WINDOW(m_deleteDialog));
    auto* dialog = adw_message_dialog_new(gobj(), "Удалить профиль?",
                                          ProfilesViewModel::deleteConfirmationMessage(profile).c_str());
    adw_message_dialog_add_responses(ADW_MESSAGE_DIALOG(dialog), "cancel", "Отмена", "delete", "Удалить",
                                     nullptr);
    adw_message_dialog_set_response_appearance(ADW_MESSAGE_DIALOG(dialog), "delete",
                                               ADW_RESPONSE_DESTRUCTIVE);
    adw_message_dialog_set_default_response(ADW_MESSAGE_DIALOG(dialog), "cancel");
    adw_message_dialog_set_close_response(ADW_MESSAGE_DIALOG(dialog), "cancel");
    m_deleteDialog = dialog;
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&m_deleteDialog));
    adw::connect<const char*>(dialog, "response",
                              std::function<void(const char*)>([this, id = profile.id](const char* response) {
                                  if (std::string_view(response) == "delete")
                                      m_profiles.deleteProfile(id);
                              }));
    gtk_window_present(GTK_WINDOW(dialog));
}

} // namespace orvi::ui
