#include "ui/SettingsWindow.h"

#include "core/base/Log.h"
#include "core/session/SessionFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace orvi::ui {
namespace {

// A session file: written beside its final name with mode 0600 and renamed over it, so a
// failed write never leaves half a file and the session is never readable by others.
bool writePrivateFile(const std::filesystem::path& path, const std::string& bytes) {
    const std::string temporary = path.string() + ".part-" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const auto n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    const bool ok = written == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

Gtk::Label* caption(const std::string& text) {
    auto* label = Gtk::make_managed<Gtk::Label>(text);
    label->set_xalign(0);
    label->set_wrap(true);
    label->add_css_class("caption");
    label->add_css_class("dim-label");
    return label;
}

void askToConfirm(Gtk::Window& parent, const char* title, const char* message, const char* confirm,
                  bool destructive, std::function<void()> onConfirm) {
    auto* dialog = new Gtk::MessageDialog(parent, title, false, Gtk::MessageType::QUESTION,
                                          Gtk::ButtonsType::NONE, true);
    dialog->set_secondary_text(message);
    dialog->add_button("Отмена", Gtk::ResponseType::CANCEL);
    auto* button = dialog->add_button(confirm, Gtk::ResponseType::ACCEPT);
    if (destructive)
        button->add_css_class("destructive-action");
    dialog->set_default_response(Gtk::ResponseType::CANCEL);
    dialog->signal_response().connect([dialog, onConfirm = std::move(onConfirm)](int response) {
        dialog->hide();
        if (response == static_cast<int>(Gtk::ResponseType::ACCEPT))
            onConfirm();
        Glib::signal_idle().connect_once([dialog] { delete dialog; });
    });
    dialog->show();
}

} // namespace

SettingsWindow::SettingsWindow(Gtk::Window& parent, Context context) : m_context(std::move(context)) {
    set_title("Настройки");
    set_transient_for(parent);
    set_modal(true);
    set_default_size(440, 640);
    set_hide_on_close(true);

    m_header.set_show_title_buttons(false);
    m_done.add_css_class("suggested-action");
    m_done.signal_clicked().connect([this] { close(); });
    m_header.pack_end(m_done);
    set_titlebar(m_header);

    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType) {
            if (key != GDK_KEY_Escape)
                return false;
            close();
            return true;
        },
        false);
    add_controller(keys);

    m_content.set_margin(18);
    m_scroll.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    m_scroll.set_child(m_content);
    set_child(m_scroll);

    auto& settings = *m_context.settings;
    addSwitch(addSection("Навигация"), "Блокировать внешние ссылки", settings.blockExternalLinks,
              &SettingsViewModel::setBlockExternalLinks);
    auto& permissions = addSection("Разрешения");
    addSwitch(permissions, "Разрешить микрофон и камеру", settings.mediaPermissionsEnabled,
              &SettingsViewModel::setMediaPermissionsEnabled);
    permissions.append(*caption("Требуется для видеозвонков. Перезапустите приложение после изменения."));
    auto& notifications = addSection("Уведомления");
    addSwitch(notifications, "Включить уведомления", settings.notificationsEnabled,
              &SettingsViewModel::setNotificationsEnabled);
    if (settings.canChooseDoNotDisturb())
        buildDoNotDisturbRow(notifications);
    buildBackgroundSection();
    buildLocationSection();
    buildDataSection();
    buildContainerSection();
    buildClearSection();
}

SettingsWindow::~SettingsWindow() = default;

Gtk::Box& SettingsWindow::addSection(const char* title) {
    auto* heading = Gtk::make_managed<Gtk::Label>(title);
    heading->set_xalign(0);
    heading->add_css_class("heading");
    heading->set_margin_top(12);
    m_content.append(*heading);
    auto* frame = Gtk::make_managed<Gtk::Frame>();
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 8);
    box->set_margin(12);
    frame->set_child(*box);
    m_content.append(*frame);
    return *box;
}

void SettingsWindow::buildDoNotDisturbRow(Gtk::Box& section) {
    static constexpr DoNotDisturb kKinds[] = {DoNotDisturb::forOneHour, DoNotDisturb::untilMorning,
                                              DoNotDisturb::untilTurnedOff};
    auto& settings = *m_context.settings;
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    auto* text = Gtk::make_managed<Gtk::Label>("Не беспокоить");
    text->set_xalign(0);
    text->set_hexpand(true);
    auto* length =
        Gtk::make_managed<Gtk::DropDown>(Gtk::StringList::create({"на 1 час", "до утра", "пока не выключу"}));
    auto* toggle = Gtk::make_managed<Gtk::Switch>();
    toggle->set_valign(Gtk::Align::CENTER);
    // Showing the model's state must not be taken for the user's choice.
    auto showing = std::make_shared<bool>(false);
    auto show = [length, toggle, showing](std::optional<DoNotDisturb> now) {
        *showing = true;
        if (toggle->get_active() != now.has_value())
            toggle->set_active(now.has_value());
        for (guint i = 0; now && i < std::size(kKinds); ++i)
            if (kKinds[i] == *now && length->get_selected() != i)
                length->set_selected(i);
        *showing = false;
    };
    show(settings.doNotDisturb());
    // Choosing another length while it is on starts it anew with that length.
    auto apply = [this, length, toggle, showing] {
        if (*showing)
            return;
        auto& model = *m_context.settings;
        const auto chosen = length->get_selected() < std::size(kKinds)
                                ? std::optional<DoNotDisturb>(kKinds[length->get_selected()])
                                : std::nullopt;
        const auto wanted = toggle->get_active() ? chosen : std::nullopt;
        if (wanted != model.doNotDisturb())
            model.setDoNotDisturb(wanted);
    };
    toggle->property_active().signal_changed().connect(apply);
    length->property_selected().signal_changed().connect(apply);
    m_connections.push_back(settings.doNotDisturb.subscribe(show));
    row->append(*text);
    row->append(*length);
    row->append(*toggle);
    section.append(*row);
}

void SettingsWindow::addSwitch(Gtk::Box& section, const char* label, Published<bool>& value,
                               void (SettingsViewModel::*set)(bool)) {
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    auto* text = Gtk::make_managed<Gtk::Label>(label);
    text->set_xalign(0);
    text->set_hexpand(true);
    text->set_wrap(true);
    auto* toggle = Gtk::make_managed<Gtk::Switch>();
    toggle->set_valign(Gtk::Align::CENTER);
    toggle->set_active(value());
    toggle->property_active().signal_changed().connect([this, toggle, &value, set] {
        if (toggle->get_active() != value())
            ((*m_context.settings).*set)(toggle->get_active());
    });
    m_connections.push_back(value.subscribe([toggle](bool now) {
        if (toggle->get_active() != now)
            toggle->set_active(now);
    }));
    row->append(*text);
    row->append(*toggle);
    section.append(*row);
}

void SettingsWindow::buildBackgroundSection() {
    static constexpr HibernateAfter kChoices[] = {HibernateAfter::never, HibernateAfter::fifteenMinutes,
                                                  HibernateAfter::oneHour};
    auto& settings = *m_context.settings;
    auto& section = addSection("Фоновые профили");
    addSwitch(section, "Загружать все профили при запуске", settings.loadAllProfilesAtStartup,
              &SettingsViewModel::setLoadAllProfilesAtStartup);
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    auto* text = Gtk::make_managed<Gtk::Label>("Усыплять фоновые профили через");
    text->set_xalign(0);
    text->set_hexpand(true);
    text->set_wrap(true);
    auto* picker =
        Gtk::make_managed<Gtk::DropDown>(Gtk::StringList::create({"Никогда", "15 минут", "1 час"}));
    picker->set_valign(Gtk::Align::CENTER);
    auto show = [picker](HibernateAfter now) {
        for (guint i = 0; i < std::size(kChoices); ++i)
            if (kChoices[i] == now && picker->get_selected() != i)
                picker->set_selected(i);
    };
    show(settings.hibernateAfter());
    picker->property_selected().signal_changed().connect([this, picker] {
        const auto index = picker->get_selected();
        if (index < std::size(kChoices) && kChoices[index] != m_context.settings->hibernateAfter())
            m_context.settings->setHibernateAfter(kChoices[index]);
    });
    m_connections.push_back(settings.hibernateAfter.subscribe(show));
    row->append(*text);
    row->append(*picker);
    section.append(*row);
}

void SettingsWindow::buildLocationSection() {
    auto& section = addSection("Локация");
    const auto& presets = LocationSettings::presets();
    std::vector<Glib::ustring> names;
    for (const auto& preset : presets)
        names.emplace_back(preset.cityName);
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    auto* label = Gtk::make_managed<Gtk::Label>("Город");
    label->set_xalign(0);
    label->set_hexpand(true);
    m_cityPicker = Gtk::make_managed<Gtk::DropDown>(names);
    row->append(*label);
    row->append(*m_cityPicker);
    section.append(*row);
    m_currentLocation.set_xalign(0);
    m_currentLocation.set_wrap(true);
    m_currentLocation.add_css_class("dim-label");
    section.append(m_currentLocation);

    auto show = [this](const LocationSettings& location) {
        m_currentLocation.set_text("Текущая локация: " + location.cityName + " (" + location.timezone + ")");
        const auto& presets = LocationSettings::presets();
        auto found = std::find_if(presets.begin(), presets.end(),
                                  [&](const LocationSettings& preset) { return preset == location; });
        m_updatingPicker = true;
        m_cityPicker->set_selected(found == presets.end() ? GTK_INVALID_LIST_POSITION
                                                          : static_cast<guint>(found - presets.begin()));
        m_updatingPicker = false;
    };
    show(m_context.settings->locationSettings());
    m_connections.push_back(m_context.settings->locationSettings.subscribe(show));
    m_cityPicker->property_selected().signal_changed().connect([this] {
        const auto index = m_cityPicker->get_selected();
        const auto& presets = LocationSettings::presets();
        if (m_updatingPicker || index >= presets.size())
            return;
        m_context.settings->updateLocation(presets[index]);
    });
}

Gtk::Button& SettingsWindow::addDataButton(Gtk::Box& section, const char* label, const char* icon) {
    auto* button = Gtk::make_managed<Gtk::Button>();
    auto* content = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    // Gtk::Image's text constructor reads a file; these are icon names.
    auto* image = Gtk::make_managed<Gtk::Image>();
    image->set_from_icon_name(icon);
    content->append(*image);
    auto* text = Gtk::make_managed<Gtk::Label>(label);
    text->set_xalign(0);
    text->set_hexpand(true);
    content->append(*text);
    button->set_child(*content);
    button->add_css_class("flat");
    section.append(*button);
    return *button;
}

void SettingsWindow::buildDataSection() {
    auto& section = addSection("Данные");
    auto& settings = *m_context.settings;

    auto& browser = addDataButton(section, "Импорт из браузера", "web-browser-symbolic");
    m_browserImport = &browser;
    m_browserSpinner.set_visible(false);
    section.append(m_browserSpinner);
    auto updateBrowser = [this](bool running) {
        m_browserImport->set_sensitive(m_context.settings->canImportFromBrowser() && !running);
        m_browserSpinner.set_visible(running);
        m_browserSpinner.set_spinning(running);
    };
    updateBrowser(settings.isImportingFromSafari());
    m_connections.push_back(settings.isImportingFromSafari.subscribe(updateBrowser));
    browser.signal_clicked().connect([this] { confirmBrowserImport(); });
    section.append(*caption("На iOS используйте экспорт/импорт через файл"));
    section.append(*Gtk::make_managed<Gtk::Separator>());

    addDataButton(section, "Экспорт cookies (без шифрования)", "document-send-symbolic")
        .signal_clicked()
        .connect([this] { exportPlain(); });
    addDataButton(section, "Экспорт всех данных", "document-send-symbolic").signal_clicked().connect([this] {
        exportAllData();
    });
    section.append(*caption("Экспортирует cookies, localStorage, sessionStorage в один файл"));
    addDataButton(section, "Импорт данных из файла", "document-open-symbolic")
        .signal_clicked()
        .connect([this] { chooseImportFile(); });
    addDataButton(section, "Экспорт с шифрованием", "channel-secure-symbolic")
        .signal_clicked()
        .connect([this] { showExportPasswordSheet(); });
    addDataButton(section, "Импорт с расшифровкой", "channel-secure-symbolic")
        .signal_clicked()
        .connect([this] {
            m_importSheet = std::make_unique<ImportPasswordSheet>(
                *this, [this](std::string password) { startEncryptedImport(password); });
            m_importSheet->present();
        });

    m_result.set_xalign(0);
    m_result.set_wrap(true);
    m_result.set_selectable(true);
    m_result.add_css_class("caption");
    m_result.add_css_class("dim-label");
    auto showResult = [this](const std::optional<std::string>& text) {
        m_result.set_text(text.value_or(""));
        m_result.set_visible(text.has_value());
    };
    showResult(settings.importResult());
    m_connections.push_back(settings.importResult.subscribe(showResult));
    section.append(m_result);
}

void SettingsWindow::buildContainerSection() {
    auto& section = addSection("Полный контейнер");
    const bool available = m_context.settings->canUseContainers();
    section.append(*caption("Экспортирует ВЕСЬ контейнер включая HttpOnly cookies (для Mac)"));
    section.append(*caption("Импортирует контейнер с другого Mac. Требуется перезапуск!"));
    auto& exportButton = addDataButton(section, "Экспорт контейнера", "package-x-generic-symbolic");
    auto& importButton = addDataButton(section, "Импорт контейнера", "package-x-generic-symbolic");
    exportButton.set_sensitive(available);
    importButton.set_sensitive(available);
    exportButton.signal_clicked().connect([this] { exportContainer(); });
    importButton.signal_clicked().connect([this] { chooseContainer(); });
    m_containerExport = &exportButton;
    m_containerImport = &importButton;
    m_containerSpinner.set_visible(false);
    section.append(m_containerSpinner);
    m_restart.set_visible(false);
    m_restart.add_css_class("suggested-action");
    m_restart.set_halign(Gtk::Align::START);
    m_restart.signal_clicked().connect([] {
        if (auto application = Gio::Application::get_default())
            application->activate_action("restart");
    });
    section.append(m_restart);
}

void SettingsWindow::setContainerRunning(bool running) {
    const bool available = m_context.settings->canUseContainers();
    m_containerExport->set_sensitive(available && !running);
    m_containerImport->set_sensitive(available && !running);
    m_containerSpinner.set_visible(running);
    m_containerSpinner.set_spinning(running);
}

void SettingsWindow::buildClearSection() {
    auto& section = addSection("Данные");
    auto& clear = addDataButton(section, "Очистить все данные", "user-trash-symbolic");
    clear.add_css_class("destructive-action");
    clear.signal_clicked().connect([this] { confirmClearData(); });
    m_activeProfile.set_xalign(0);
    m_activeProfile.add_css_class("dim-label");
    section.append(m_activeProfile);
    auto show = [this](const Profile& profile) {
        m_activeProfile.set_text("Активный профиль: " + profile.name);
    };
    show(m_context.profiles.activeProfile());
    m_connections.push_back(m_context.profiles.subscribeToActiveProfile(show));
}

std::shared_ptr<engine::WebView> SettingsWindow::currentWebView() const {
    const auto& coordinator = m_context.mainModel->coordinator();
    return coordinator ? coordinator->currentWebView() : nullptr;
}

Glib::RefPtr<Gtk::FileChooserNative>
SettingsWindow::makeChooser(const char* title, Gtk::FileChooser::Action action, const char* accept) {
    m_chooser = Gtk::FileChooserNative::create(title, *this, action, accept, "Отмена");
    m_chooser->set_modal(true);
    std::error_code error;
    if (!m_context.documentsDir.empty() && std::filesystem::is_directory(m_context.documentsDir, error))
        m_chooser->set_current_folder(Gio::File::create_for_path(m_context.documentsDir.string()));
    return m_chooser;
}

void SettingsWindow::exportPlain() {
    const auto profileId = m_context.profiles.activeProfile().id;
    m_context.settings->exportCookies(profileId, [this](std::optional<std::string> bytes) {
        if (bytes)
            offerSave(std::move(*bytes));
    });
}

void SettingsWindow::offerSave(std::string bytes) {
    auto chooser = makeChooser("Экспорт cookies", Gtk::FileChooser::Action::SAVE, "Сохранить");
    chooser->set_current_name(SettingsViewModel::exportFileName(m_context.profiles.activeProfile().name));
    auto data = std::make_shared<std::string>(std::move(bytes));
    chooser->signal_response().connect([this, raw = chooser.get(), data](int response) {
        raw->hide();
        if (response != static_cast<int>(Gtk::ResponseType::ACCEPT))
            return;
        const auto file = raw->get_file();
        if (!file || file->get_path().empty())
            return;
        const std::filesystem::path path = file->get_path();
        if (writePrivateFile(path, *data)) {
            logLine("✅ Exported cookies to file: " + path.string());
            m_context.settings->importResult.set("✅ " + path.string());
        } else {
            logLine("❌ Could not write the export file: " + path.string());
            m_context.settings->importResult.set("❌ Ошибка экспорта");
        }
    });
    chooser->show();
}

void SettingsWindow::exportAllData() {
    std::weak_ptr<MainWebViewModel> model = m_context.mainModel;
    m_context.settings->exportAllData(
        [model](SettingsViewModel::FileCompletion done) {
            if (auto main = model.lock())
                main->exportToFile(std::move(done));
            else
                done(std::nullopt);
        },
        [this](std::optional<std::filesystem::path> path) {
            if (path)
                copyToClipboard(path->string());
        });
}

void SettingsWindow::copyToClipboard(const std::string& text) {
    get_display()->get_clipboard()->set_text(text);
}

void SettingsWindow::chooseImportFile() {
    auto chooser = makeChooser("Импорт данных из файла", Gtk::FileChooser::Action::OPEN, "Импортировать");
    chooser->signal_response().connect([this, raw = chooser.get()](int response) {
        raw->hide();
        if (response != static_cast<int>(Gtk::ResponseType::ACCEPT))
            return;
        const auto file = raw->get_file();
        if (!file || file->get_path().empty()) {
            m_context.settings->reportFileChoiceFailed("файл недоступен");
            return;
        }
        importPlainFile(file->get_path());
    });
    chooser->show();
}

void SettingsWindow::importPlainFile(const std::filesystem::path& path) {
    auto data = SessionFile::read(path);
    if (!data.ok()) {
        m_context.settings->reportUnreadableFile();
        return;
    }
    m_context.settings->importFile(m_context.profiles.activeProfile().id, std::move(data).value(),
                                   currentWebView(), [] {});
}

void SettingsWindow::showExportPasswordSheet() {
    m_exportSheet = std::make_unique<ExportPasswordSheet>(*this, [this](std::string password) {
        m_context.settings->exportEncrypted(m_context.profiles.activeProfile().id, password, currentWebView(),
                                            [this](std::optional<std::string> bytes) {
                                                if (bytes)
                                                    offerSave(std::move(*bytes));
                                            });
    });
    m_exportSheet->present();
}

void SettingsWindow::startEncryptedImport(const std::string& password) {
    logLine("🔐 Starting encrypted import with password (length: " + std::to_string(password.size()) + ")");
    auto chooser = makeChooser("Выберите файл с зашифрованными cookies", Gtk::FileChooser::Action::OPEN,
                               "Импортировать");
    chooser->signal_response().connect([this, raw = chooser.get(), password](int response) {
        raw->hide();
        logLine("📂 File selection result: " + std::to_string(response));
        if (response != static_cast<int>(Gtk::ResponseType::ACCEPT))
            return;
        const auto file = raw->get_file();
        if (!file || file->get_path().empty())
            return;
        logLine("📁 Selected file: " + file->get_path());
        importEncryptedFile(file->get_path(), password);
    });
    chooser->show();
}

void SettingsWindow::importEncryptedFile(const std::filesystem::path& path, const std::string& password) {
    auto data = SessionFile::read(path);
    if (!data.ok()) {
        logLine("❌ Failed to read file data");
        m_context.settings->reportUnreadableFile();
        return;
    }
    m_context.settings->importEncryptedFile(m_context.profiles.activeProfile().id, std::move(data).value(),
                                            password, currentWebView(), [] {});
}

void SettingsWindow::confirmClearData() {
    std::weak_ptr<SettingsViewModel> settings = m_context.settings;
    askToConfirm(*this, "Очистить данные?", "Это действие удалит все сохранённые данные WebView. Продолжить?",
                 "Очистить", true, [settings] {
                     if (auto model = settings.lock())
                         model->clearAllData();
                 });
}

void SettingsWindow::confirmBrowserImport() {
    askToConfirm(*this, "Импорт из браузера",
                 "На iOS импорт из браузера может не работать из-за ограничений безопасности. Рекомендуется "
                 "использовать экспорт/импорт через файл.",
                 "Попробовать", false, [this] {
                     auto webView = currentWebView();
                     if (!webView)
                         return;
                     m_context.settings->importFromSafari(m_context.profiles.activeProfile().id,
                                                          webView->sharedDataStore(), m_context.serviceHost);
                 });
}

void SettingsWindow::exportContainer() {
    setContainerRunning(true);
    m_context.settings->exportContainer(
        [this, alive = std::weak_ptr<bool>(m_alive)](std::optional<std::filesystem::path> path) {
            if (alive.expired())
                return;
            setContainerRunning(false);
            if (path)
                copyToClipboard(path->string());
        });
}

void SettingsWindow::chooseContainer() {
    auto chooser = makeChooser("Выберите файл контейнера", Gtk::FileChooser::Action::OPEN, "Импортировать");
    auto filter = Gtk::FileFilter::create();
    filter->set_name("ZIP");
    filter->add_suffix("zip");
    filter->add_mime_type("application/zip");
    chooser->add_filter(filter);
    chooser->signal_response().connect([this, raw = chooser.get()](int response) {
        raw->hide();
        if (response != static_cast<int>(Gtk::ResponseType::ACCEPT))
            return;
        if (const auto file = raw->get_file(); file && !file->get_path().empty()) {
            setContainerRunning(true);
            m_restart.set_visible(false);
            m_context.settings->importContainer(file->get_path(),
                                                [this, alive = std::weak_ptr<bool>(m_alive)](bool imported) {
                                                    if (alive.expired())
                                                        return;
                                                    setContainerRunning(false);
                                                    m_restart.set_visible(imported);
                                                });
        }
    });
    chooser->show();
}

} // namespace orvi::ui
