#pragma once

#include "core/profiles/ProfilesViewModel.h"

#include <adwaita.h>
#include <functional>
#include <gtkmm.h>
#include <memory>
#include <optional>

namespace orvi::engine {
class DataStore;
}

namespace orvi::ui {

// The add and edit forms of a profile, as a modal window over `parent`. The add form adds
// through the view model itself; the edit form hands the edited profile to the view model's
// update. Escape or "Отмена" closes without changes.
class ProfileForm final : public Gtk::Window {
public:
    // Where an import from the browser puts the cookies it finds before they are saved.
    struct BrowserImport {
        std::function<std::shared_ptr<engine::DataStore>()> makeDataStore;
        std::string domain;
    };

    // The add form.
    ProfileForm(Gtk::Window& parent, ProfilesViewModel& profiles, BrowserImport import);
    // The edit form of `profile`.
    ProfileForm(Gtk::Window& parent, ProfilesViewModel& profiles, const Profile& profile);

    // What the form shows and does, for the screens' tests and the screenshot tour.
    void setName(const std::string& name);
    void setCity(std::size_t presetIndex);
    void setCoordinates(const std::string& latitude, const std::string& longitude);
    void setCallsEnabled(bool enabled);
    void scrollToEnd();
    // Does nothing while no browser import is available.
    void setImportFromBrowser(bool on);
    std::optional<std::string> shownNameError() const;
    bool canSave() const;
    // Same as pressing "Создать" or "Сохранить".
    void save();

    static std::string formatCoordinate(std::optional<double> value);
    // Empty text is absent; both decimal separators are accepted. Text that is not a number
    // gives no value and sets `malformed`.
    static std::optional<double> parseCoordinate(const std::string& text, bool& malformed);

private:
    ProfileForm(Gtk::Window& parent, ProfilesViewModel& profiles, std::optional<Profile> edited,
                BrowserImport import);

    void build();
    Gtk::Box* section(const std::string& title, const std::string& footer, GtkWidget*& group);
    void refresh();
    void readCoordinates();
    ProfilesViewModel::NewProfile values() const;
    void finish();

    ProfilesViewModel& m_profiles;
    const std::optional<Profile> m_edited;
    BrowserImport m_import;
    LocationSettings m_location;
    bool m_coordinatesMalformed = false;
    bool m_saving = false;

    Gtk::HeaderBar m_header;
    Gtk::Button m_cancel{"Отмена"};
    Gtk::Button m_save;
    Gtk::Box m_body{Gtk::Orientation::VERTICAL};
    Gtk::Box m_buttons{Gtk::Orientation::HORIZONTAL, 12};
    Gtk::ScrolledWindow m_scroll;
    Gtk::Box m_page{Gtk::Orientation::VERTICAL, 18};
    GtkWidget* m_nameRow = nullptr;
    Gtk::Label m_nameError;
    Gtk::Switch m_desktopMode;
    GtkWidget* m_cityRow = nullptr;
    GtkWidget* m_locationLine = nullptr;
    GtkWidget* m_latitudeRow = nullptr;
    GtkWidget* m_longitudeRow = nullptr;
    Gtk::Label m_coordinateCaption;
    Gtk::Switch m_callsEnabled;
    Gtk::Switch m_showCallsAvailability;
    GtkWidget* m_availabilityRow = nullptr;
    Gtk::Box m_callsNotice{Gtk::Orientation::HORIZONTAL, 10};
    Gtk::Switch m_importFromBrowser;
    Gtk::Switch m_silenced;
    Gtk::Box m_importNotice{Gtk::Orientation::HORIZONTAL, 10};
    std::shared_ptr<engine::DataStore> m_importDataStore;
};

} // namespace orvi::ui
