#include "ui/ProfileForm.h"

#include "engine/DataStore.h"
#include "ui/AdwWidgets.h"
#include "ui/SheetWindow.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>

namespace orvi::ui {

namespace {

Gtk::Label* caption(const std::string& text) {
    auto* label = Gtk::make_managed<Gtk::Label>(text);
    label->set_wrap(true);
    label->set_xalign(0);
    label->add_css_class("form-caption");
    label->add_css_class("dim-label");
    return label;
}

void fillNotice(Gtk::Box& notice, const std::string& iconName, const std::string& title,
                const std::string& text, const char* kind) {
    notice.add_css_class("notice");
    notice.add_css_class(kind);
    auto* icon = adw::icon(iconName);
    icon->set_valign(Gtk::Align::START);
    notice.append(*icon);
    auto* lines = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
    auto* heading = Gtk::make_managed<Gtk::Label>(title);
    heading->add_css_class("heading");
    heading->set_xalign(0);
    heading->set_wrap(true);
    auto* body = Gtk::make_managed<Gtk::Label>(text);
    body->set_xalign(0);
    body->set_wrap(true);
    body->add_css_class("dim-label");
    lines->append(*heading);
    lines->append(*body);
    lines->set_hexpand(true);
    notice.append(*lines);
}

bool samePlace(const LocationSettings& a, const LocationSettings& b) {
    return a.cityName == b.cityName && a.timezone == b.timezone && a.locale == b.locale;
}

} // namespace

ProfileForm::ProfileForm(Gtk::Window& parent, ProfilesViewModel& profiles, BrowserImport import)
    : ProfileForm(parent, profiles, std::nullopt, std::move(import)) {}

ProfileForm::ProfileForm(Gtk::Window& parent, ProfilesViewModel& profiles, const Profile& profile)
    : ProfileForm(parent, profiles, profile, BrowserImport{}) {}

ProfileForm::ProfileForm(Gtk::Window& parent, ProfilesViewModel& profiles, std::optional<Profile> edited,
                         BrowserImport import)
    : m_profiles(profiles), m_edited(std::move(edited)), m_import(std::move(import)),
      m_location(m_edited ? m_edited->locationSettings : LocationSettings::defaultLocation()) {
    makeSheet(*this, parent, m_edited ? "Редактировать профиль" : "Новый профиль", m_header);
    m_save.set_label(m_edited ? "Сохранить" : "Создать");
    m_save.add_css_class("suggested-action");
    // The buttons sit under the form, so the header bar has room for the whole title.
    m_buttons.set_halign(Gtk::Align::END);
    m_buttons.set_margin(12);
    m_buttons.append(m_cancel);
    m_buttons.append(m_save);
    m_cancel.signal_clicked().connect([this] { close(); });
    m_save.signal_clicked().connect([this] { save(); });
    build();
    if (m_edited) {
        adw::setEntryText(m_nameRow, m_edited->name);
        m_desktopMode.set_active(m_edited->desktopMode);
        m_callsEnabled.set_active(m_edited->callsEnabled);
        m_showCallsAvailability.set_active(m_edited->showCallsAvailability);
    } else {
        m_callsEnabled.set_active(true);
        m_showCallsAvailability.set_active(true);
    }
    adw::setEntryText(m_latitudeRow, formatCoordinate(m_location.latitude));
    adw::setEntryText(m_longitudeRow, formatCoordinate(m_location.longitude));
    refresh();
}

Gtk::Box* ProfileForm::section(const std::string& title, const std::string& footer, GtkWidget*& group) {
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 0);
    group = adw::group(title);
    adw::append(*box, group);
    if (!footer.empty())
        box->append(*caption(footer));
    m_page.append(*box);
    return box;
}

void ProfileForm::build() {
    GtkWidget* group = nullptr;

    auto* nameSection = section("Основная информация", "", group);
    m_nameRow = adw::entryRow("Имя профиля");
    adw::add(group, m_nameRow);
    nameSection->append(*caption(m_edited ? "Введите уникальное имя для профиля"
                                          : "Введите уникальное имя для нового профиля"));
    m_nameError.set_xalign(0);
    m_nameError.set_wrap(true);
    m_nameError.add_css_class("form-caption");
    m_nameError.add_css_class("error");
    nameSection->append(m_nameError);
    adw::connect<>(m_nameRow, "changed", std::function<void()>([this] { refresh(); }));

    section("Режим отображения", "Включите для отображения сайта в режиме десктопной версии", group);
    adw::add(group, adw::switchRow("Desktop Mode", m_desktopMode));

    auto* locationSection = section(
        "Локация", "Город задаёт часовой пояс и язык, а координаты — точку, которую получит сайт", group);
    auto* cities = gtk_string_list_new(nullptr);
    const auto& presets = LocationSettings::presets();
    guint selected = GTK_INVALID_LIST_POSITION;
    for (std::size_t i = 0; i < presets.size(); ++i) {
        gtk_string_list_append(cities, presets[i].cityName.c_str());
        if (selected == GTK_INVALID_LIST_POSITION && samePlace(presets[i], m_location))
            selected = static_cast<guint>(i);
    }
    m_cityRow = adw_combo_row_new();
    adw_preferences_row_set_title(ADW_PREFERENCES_ROW(m_cityRow), "Город");
    adw_combo_row_set_model(ADW_COMBO_ROW(m_cityRow), G_LIST_MODEL(cities));
    g_object_unref(cities);
    if (selected != GTK_INVALID_LIST_POSITION)
        adw_combo_row_set_selected(ADW_COMBO_ROW(m_cityRow), selected);
    adw::add(group, m_cityRow);
    adw::connect<GParamSpec*>(m_cityRow, "notify::selected",
                              std::function<void(GParamSpec*)>([this](GParamSpec*) {
                                  const auto index = adw_combo_row_get_selected(ADW_COMBO_ROW(m_cityRow));
                                  const auto& presets = LocationSettings::presets();
                                  if (index >= presets.size())
                                      return;
                                  auto location = presets[index];
                                  location.latitude = m_location.latitude;
                                  location.longitude = m_location.longitude;
                                  m_location = location;
                                  refresh();
                              }));
    m_locationLine = adw::actionRow("");
    auto* pin = adw::icon("mark-location-symbolic");
    pin->add_css_class("accent");
    adw::addPrefix(m_locationLine, *pin);
    gtk_widget_add_css_class(m_locationLine, "dim-label");
    adw::add(group, m_locationLine);
    m_latitudeRow = adw::entryRow("Широта");
    m_longitudeRow = adw::entryRow("Долгота");
    adw::add(group, m_latitudeRow);
    adw::add(group, m_longitudeRow);
    for (auto* row : {m_latitudeRow, m_longitudeRow})
        adw::connect<>(row, "changed", std::function<void()>([this] { refresh(); }));
    m_coordinateCaption.set_wrap(true);
    m_coordinateCaption.set_xalign(0);
    m_coordinateCaption.add_css_class("form-caption");
    // The footer of the section stays last.
    gtk_box_insert_child_after(locationSection->gobj(), GTK_WIDGET(m_coordinateCaption.gobj()), group);

    auto* callsSection = section("Звонки",
                                 "Настройки звонков для этого профиля. Если звонки "
                                 "отключены, другие пользователи не смогут вам позвонить.",
                                 group);
    adw::add(group, adw::switchRow("Разрешить звонки", m_callsEnabled));
    m_availabilityRow = adw::switchRow("Показывать доступность для звонков", m_showCallsAvailability);
    adw::add(group, m_availabilityRow);
    fillNotice(m_callsNotice, "call-stop-symbolic", "Звонки отключены",
               "В этом профиле звонки будут недоступны. Другие пользователи не смогут вам позвонить.",
               "warning");
    m_callsNotice.set_margin_top(8);
    gtk_box_insert_child_after(callsSection->gobj(), GTK_WIDGET(m_callsNotice.gobj()), group);
    m_callsEnabled.property_active().signal_changed().connect([this] { refresh(); });

    if (m_edited && m_profiles.canSilenceProfiles()) {
        section("Уведомления", "", group);
        adw::add(group, adw::switchRow("Без уведомлений", m_silenced));
        m_silenced.set_active(m_profiles.isSilenced(m_edited->id));
    }

    if (!m_edited) {
        auto* importSection =
            section("Импорт данных", "Импорт cookies из браузера может не работать на всех системах", group);
        auto* importRow = adw::switchRow("Импортировать из браузера", m_importFromBrowser);
        adw::add(group, importRow);
        const bool available = m_profiles.canImportFromBrowser() && m_import.makeDataStore;
        gtk_widget_set_sensitive(importRow, available);
        if (!available)
            adw_action_row_set_subtitle(ADW_ACTION_ROW(importRow), "Импорт из браузера пока недоступен");
        fillNotice(m_importNotice, "dialog-information-symbolic", "Импортировать cookies из браузера",
                   "Cookies для домена " + m_import.domain + " будут импортированы из браузера.", "info");
        m_importNotice.set_margin_top(8);
        gtk_box_insert_child_after(importSection->gobj(), GTK_WIDGET(m_importNotice.gobj()), group);
        m_importFromBrowser.property_active().signal_changed().connect([this] { refresh(); });
    }

    m_page.set_margin(12);
    auto* clamp = adw_clamp_new();
    adw_clamp_set_maximum_size(ADW_CLAMP(clamp), 560);
    adw_clamp_set_child(ADW_CLAMP(clamp), GTK_WIDGET(m_page.gobj()));
    gtk_scrolled_window_set_child(m_scroll.gobj(), clamp);
    m_scroll.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    m_scroll.set_vexpand(true);
    m_body.append(m_scroll);
    m_body.append(*Gtk::make_managed<Gtk::Separator>());
    m_body.append(m_buttons);
    set_child(m_body);
}

void ProfileForm::readCoordinates() {
    bool latitudeMalformed = false;
    bool longitudeMalformed = false;
    m_location.latitude = parseCoordinate(adw::entryText(m_latitudeRow), latitudeMalformed);
    m_location.longitude = parseCoordinate(adw::entryText(m_longitudeRow), longitudeMalformed);
    m_coordinatesMalformed = latitudeMalformed || longitudeMalformed;
}

void ProfileForm::refresh() {
    readCoordinates();
    const auto error = shownNameError();
    m_nameError.set_text(error.value_or(""));
    m_nameError.set_visible(error.has_value());
    m_save.set_sensitive(canSave());

    adw_preferences_row_set_title(
        ADW_PREFERENCES_ROW(m_locationLine),
        ("Локация: " + m_location.cityName + " (" + m_location.timezone + ")").c_str());
    using State = ProfilesViewModel::CoordinateState;
    const auto state =
        m_coordinatesMalformed ? State::invalid : ProfilesViewModel::coordinateState(m_location);
    m_coordinateCaption.remove_css_class("error");
    m_coordinateCaption.remove_css_class("dim-label");
    switch (state) {
    case State::empty:
        m_coordinateCaption.set_text("Оставьте поля пустыми, чтобы выбирать местоположение на сайте или "
                                     "использовать геопозицию устройства");
        m_coordinateCaption.add_css_class("dim-label");
        break;
    case State::invalid:
        m_coordinateCaption.set_text("Укажите обе координаты: широта от −90 до 90, долгота от −180 до 180");
        m_coordinateCaption.add_css_class("error");
        break;
    case State::custom:
        m_coordinateCaption.set_text("Сайт будет получать заданные координаты вместо геопозиции устройства");
        m_coordinateCaption.add_css_class("dim-label");
        break;
    }

    const bool callsOn = m_callsEnabled.get_active();
    gtk_widget_set_sensitive(m_availabilityRow, callsOn);
    m_callsNotice.set_visible(!callsOn);
    m_importNotice.set_visible(m_importFromBrowser.get_active());
}

std::optional<std::string> ProfileForm::shownNameError() const {
    return m_profiles.nameError(adw::entryText(m_nameRow),
                                m_edited ? std::optional<ProfileId>(m_edited->id) : std::nullopt);
}

bool ProfileForm::canSave() const {
    return !m_saving && !shownNameError();
}

void ProfileForm::setName(const std::string& name) {
    adw::setEntryText(m_nameRow, name);
}

void ProfileForm::setCity(std::size_t presetIndex) {
    adw_combo_row_set_selected(ADW_COMBO_ROW(m_cityRow), static_cast<guint>(presetIndex));
}

void ProfileForm::setCoordinates(const std::string& latitude, const std::string& longitude) {
    adw::setEntryText(m_latitudeRow, latitude);
    adw::setEntryText(m_longitudeRow, longitude);
}

void ProfileForm::setCallsEnabled(bool enabled) {
    m_callsEnabled.set_active(enabled);
}

void ProfileForm::setImportFromBrowser(bool on) {
    if (!m_edited && m_import.makeDataStore && m_profiles.canImportFromBrowser())
        m_importFromBrowser.set_active(on);
}

void ProfileForm::scrollToEnd() {
    auto adjustment = m_scroll.get_vadjustment();
    adjustment->set_value(adjustment->get_upper());
}

ProfilesViewModel::NewProfile ProfileForm::values() const {
    return {adw::entryText(m_nameRow), m_desktopMode.get_active(), m_location, m_callsEnabled.get_active(),
            m_showCallsAvailability.get_active()};
}

void ProfileForm::save() {
    refresh();
    if (!canSave())
        return;
    const auto form = values();
    if (m_edited) {
        Profile profile = *m_edited;
        profile.name = ProfilesViewModel::normalizedProfileName(form.name);
        profile.desktopMode = form.desktopMode;
        profile.locationSettings = form.location;
        profile.callsEnabled = form.callsEnabled;
        profile.showCallsAvailability = form.showCallsAvailability;
        if (m_profiles.canSilenceProfiles())
            m_profiles.setSilenced(profile.id, m_silenced.get_active());
        m_profiles.updateProfile(profile);
        finish();
        return;
    }
    if (m_importFromBrowser.get_active() && m_profiles.canImportFromBrowser() && m_import.makeDataStore) {
        m_saving = true;
        m_save.set_sensitive(false);
        m_cancel.set_sensitive(false);
        m_importDataStore = m_import.makeDataStore();
        m_profiles.addProfileFromBrowser(form, *m_importDataStore, m_import.domain,
                                         sigc::track_obj(
                                             [this](int) {
                                                 m_saving = false;
                                                 finish();
                                             },
                                             *this));
        return;
    }
    m_profiles.addProfile(form);
    finish();
}

void ProfileForm::finish() {
    close();
}

std::string ProfileForm::formatCoordinate(std::optional<double> value) {
    if (!value || !std::isfinite(*value))
        return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.8f", *value);
    std::string text = buffer;
    // snprintf already writes the user's decimal separator; the fraction keeps 0 to 8 digits.
    const auto point = text.find_first_of(".,");
    if (point != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.size() == point + 1)
            text.pop_back();
    }
    if (text == "-0")
        text = "0";
    return text;
}

std::optional<double> ProfileForm::parseCoordinate(const std::string& input, bool& malformed) {
    malformed = false;
    std::string text;
    for (char c : input) {
        if (c == ' ')
            continue;
        text.push_back(c == ',' ? '.' : c);
    }
    if (text.empty())
        return std::nullopt;
    // "−" is how the captions write a minus sign; people copy it.
    if (text.rfind("\xE2\x88\x92", 0) == 0)
        text.replace(0, 3, "-");
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        malformed = true;
        return std::nullopt;
    }
    return value;
}

} // namespace orvi::ui
