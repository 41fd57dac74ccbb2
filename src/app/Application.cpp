#include "app/Application.h"

#include "core/base/Log.h"
#include "core/env/MediaPermissionService.h"
#include "core/env/RenderingPolicy.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "core/profiles/LeftoverSessions.h"
#include "core/shell/ApplicationInfoChecks.h"
#include "engine/webkit/ProxyEnvironment.h"
#include "engine/webkit/WebKitEngine.h"
#include "platform/linux/HeapTrim.h"
#include "platform/linux/LinuxMediaDevices.h"
#include "platform/linux/OrviApplicationInfo.h"
#include "platform/linux/XdgPaths.h"
#include "ui/ChatExportModule.h"
#include "ui/Styles.h"

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <glib-unix.h>

namespace orvi::app {
namespace {

// Test hook: "W,H" in ORVI_TEST_RESIZE asks the window for that size once it has appeared,
// so an integration test can resize deterministically without a window manager.
std::optional<WindowSize> testResizeRequest() {
    const char* value = std::getenv("ORVI_TEST_RESIZE");
    if (!value)
        return std::nullopt;
    const std::string_view text(value);
    const auto comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    int width = 0;
    int height = 0;
    auto w = std::from_chars(text.data(), text.data() + comma, width);
    auto h = std::from_chars(text.data() + comma + 1, text.data() + text.size(), height);
    if (w.ec != std::errc() || h.ec != std::errc() || width <= 0 || height <= 0)
        return std::nullopt;
    return WindowSize{static_cast<double>(width), static_cast<double>(height)};
}

// Decides how to draw before the first window exists: GTK reads GSK_RENDERER when it makes
// its first renderer, and web views take their compositing mode when they are made.
RenderingChoice chooseRenderingAtStart(const PreferencesStore& preferences) {
    RenderingInputs inputs;
    inputs.facts = platform::probeGraphics();
    if (const char* renderer = std::getenv("GSK_RENDERER"))
        inputs.userRenderer = renderer;
    if (preferences.contains(keys::kHardwareAcceleration))
        inputs.hardwareAcceleration = preferences.boolean(keys::kHardwareAcceleration);
    auto choice = chooseRendering(inputs);
    if (choice.cairoRenderer)
        g_setenv("GSK_RENDERER", "cairo", TRUE);
    logLine(std::string("🖥️ Rendering: ") + (choice.softwareGL ? "software GL" : "GPU") + " (" +
            choice.reason + "), GTK renderer " +
            (choice.cairoRenderer ? "cairo" : inputs.userRenderer.value_or("default")) +
            ", web compositing " + (choice.acceleratedCompositing ? "accelerated" : "off"));
    return choice;
}

// GTK sets up GL on its display as it starts: a driver load before any of our code runs,
// and so before the page's web process can be started. Where the drawing will be cairo's
// anyway, that is all cost.
Glib::RefPtr<Gtk::Application> startToolkit(const std::filesystem::path& preferencesFile) {
    RenderingInputs inputs;
    inputs.facts = platform::probeGraphics(false);
    if (const char* renderer = std::getenv("GSK_RENDERER"))
        inputs.userRenderer = renderer;
    inputs.hardwareAcceleration =
        SqlitePreferencesStore::peekBoolean(preferencesFile, keys::kHardwareAcceleration);
    if (!toolkitGLUnneeded(inputs))
        return Gtk::Application::create(platform::kApplicationId);
    auto application = [] {
        // Ends once the toolkit has opened its display, before any web process starts.
        platform::ToolkitGLBlock block;
        return Gtk::Application::create(platform::kApplicationId);
    }();
    // Set only now, for the web processes: this GTK itself, told so at its start, leaves GL
    // to the web engine's own set-up, which then loads the driver into the application.
    platform::disableToolkitGL();
    logLine("🖥️ GTK starts without GL on its display: it draws with cairo and pages composite "
            "without GL");
    return application;
}

} // namespace

Application::Application()
    : m_paths(platform::makeXdgPaths()), m_gtkApplication(startToolkit(m_paths.preferencesFile())) {
    // Only the primary instance starts up; a second launch activates the first one's window.
    m_gtkApplication->signal_startup().connect([this] { buildObjectGraph(); });
    m_gtkApplication->signal_activate().connect([this] { onActivate(); });
    m_gtkApplication->signal_shutdown().connect([this] { onShutdown(); }, false);
}

Application::~Application() {
    // Background work may still reach the services below; it ends before they do.
    m_scheduler.drainBackgroundWork();
    for (auto source : m_signalSources)
        g_source_remove(source);
}

int Application::run(int argc, char* argv[]) {
    return m_gtkApplication->run(argc, argv);
}

std::unique_ptr<PreferencesStore> Application::openPreferences() {
    auto store = SqlitePreferencesStore::create(m_paths.preferencesFile());
    if (store.ok()) {
        m_preferencesNotice = store.value()->unsavedNotice();
        return std::move(store).value();
    }
    logLine("❌ Cannot open the preferences store: " + store.error().message);
    logLine("⚠️ Running with preferences in memory: nothing will be kept after this run");
    auto memory = SqlitePreferencesStore::createInMemory();
    if (!memory.ok()) {
        logLine("❌ Cannot create preferences in memory: " + memory.error().message);
        std::abort();
    }
    m_preferencesNotice = memory.value()->unsavedNotice();
    return std::move(memory).value();
}

void Application::buildObjectGraph() {
    m_preferences = openPreferences();
    m_profileStore = std::make_unique<ProfileStore>(
        *m_preferences, [this] { return findLeftoverSessions(*m_preferences, {m_paths.engineDataDir()}); });
    m_desktop = std::make_unique<DesktopIntegration>(
        *m_gtkApplication.get(), m_scheduler,
        DesktopIntegration::WindowAccess{
            [this]() -> Gtk::Window* { return m_window && !m_windowClosed ? m_window.get() : nullptr; },
            [this] { m_gtkApplication->quit(); }});
    m_quietRules = std::make_unique<NotificationQuietRules>(*m_preferences,
                                                            [] { return std::chrono::system_clock::now(); });
    m_desktop->notificationService().setDeliveryRule(
        [this](const ProfileId& profileId) { return !m_quietRules || m_quietRules->allows(profileId); });
    m_desktop->setQuietRules(m_quietRules.get());
    m_windowSizeManager = std::make_unique<WindowSizeManager>(*m_preferences);
    // Both were checked before the application started (main.cpp).
    auto domains = OrviDomains::fromEnvironment();
    auto proxy = engine::webkit::proxyFromEnvironment();
    m_pageServices = std::make_unique<PageServices>(
        m_scheduler, *m_preferences, *m_profileStore, m_desktop->notificationService(), m_paths,
        domains.ok() ? domains.value() : OrviDomains::defaults(), proxy.ok() ? proxy.value() : std::nullopt);
    m_pageServices->setAcceleratedCompositing(chooseRenderingAtStart(*m_preferences).acceleratedCompositing);
    m_pageServices->prewarmActivePage();
    watchForHeapRelease();
    m_pageServices->settingsViewModel()->setQuietRules(m_quietRules.get());
    m_desktop->showHibernated(m_pageServices->mainWebViewModel()->hibernatedProfiles);
    m_pageServices->setDialogParent(
        [this]() -> Gtk::Window* { return m_window && !m_windowClosed ? m_window.get() : nullptr; });
    m_startupMediaPermissions = StartupMediaPermissions::create(
        m_scheduler,
        MediaPermissionService::create(std::make_shared<platform::LinuxMediaDevices>(),
                                       platform::orviApplicationInfo(), m_scheduler),
        StartupMediaPermissions::Hooks{
            [this] { return m_preferences->boolean(keys::kMediaPermissionsEnabled); },
            [this] {
                if (!m_window || m_windowClosed)
                    return false;
                m_window->present();
                return m_window->is_active();
            }});
    m_profilesViewModel = std::make_unique<ProfilesViewModel>(
        *m_profileStore, m_pageServices->webViewFactory(), m_pageServices->browserCookieImport());
    m_profilesViewModel->setQuietRules(m_quietRules.get());
    m_terminationSave = std::make_unique<TerminationSave>(m_scheduler);
    m_terminationSave->setWindowSizeSave([this] {
        if (m_window && !m_windowClosed) {
            const auto size = m_window->currentSize();
            m_windowSizeManager->saveWindowSize(size.width, size.height);
        }
    });
    m_terminationSave->addHook(m_pageServices->terminationHook());

    logLine("🚀 OrviWrapper_macOSApp init() called");
    logApplicationInfoChecks(platform::orviApplicationInfo());

    auto about = Gio::SimpleAction::create("about");
    about->signal_activate().connect([this](const Glib::VariantBase&) {
        if (m_window)
            ui::showAboutDialog(*m_window);
    });
    m_gtkApplication->add_action(about);
    auto exportChat = Gio::SimpleAction::create("export-chat");
    exportChat->signal_activate().connect([this](const Glib::VariantBase&) { showChatExport(); });
    m_gtkApplication->add_action(exportChat);
    // The engine keeps using the data it loaded; imported engine folders take effect only in
    // a new process, which the same termination path as a close leads to.
    auto restart = Gio::SimpleAction::create("restart");
    restart->signal_activate().connect([this](const Glib::VariantBase&) {
        logLine("🔄 Restarting to load the imported container");
        m_restartRequested = true;
        m_gtkApplication->quit();
    });
    m_gtkApplication->add_action(restart);
    auto settings = Gio::SimpleAction::create("settings");
    settings->signal_activate().connect([this](const Glib::VariantBase&) { showSettings(); });
    m_gtkApplication->add_action(settings);
    ui::installStyles();
    installSignalHandlers();
}

void Application::watchForHeapRelease() {
    // A few seconds: a switch often loads the next profile right after the first one.
    m_heapRelease = std::make_unique<HeapRelease>(m_scheduler, std::chrono::seconds(5), platform::trimHeap);
    auto model = m_pageServices->mainWebViewModel();
    m_heapWork.push_back(model->isLoading.subscribe([this](bool loading) {
        if (!loading)
            m_heapRelease->noteWork();
    }));
    m_heapWork.push_back(
        model->activeProfile.subscribe([this](const Profile&) { m_heapRelease->noteWork(); }));
}

void Application::onActivate() {
    if (m_window) {
        m_window->present();
        return;
    }
    m_windowSizeTracker = std::make_unique<WindowSizeTracker>(*m_windowSizeManager, m_scheduler,
                                                              [this]() -> std::optional<WindowSize> {
                                                                  if (!m_window || m_windowClosed)
                                                                      return std::nullopt;
                                                                  return m_window->currentSize();
                                                              });
    m_window = std::make_unique<ui::MainWindow>(m_windowSizeTracker->setUpWindow());
    m_window->signalFirstAppearance().connect([this] { onFirstAppearance(); });
    m_window->signalSizeChanged().connect([this] { m_windowSizeTracker->windowDidResize(); });
    m_window->signalWillClose().connect([this] {
        m_windowSizeTracker->windowWillClose();
        m_windowClosed = true;
    });
    m_gtkApplication->add_window(*m_window);
    m_window->installToolbar(*m_profilesViewModel, m_pageServices->mainWebViewModel());
    m_pageHostView = std::make_unique<ui::PageHostView>(
        m_pageServices->mainWebViewModel(), m_pageServices->hostContext(),
        [this] {
            return m_pageServices->loadOptions([this] {
                if (m_screens)
                    m_screens->vpnWarningFlow().loadAskedForWarning();
            });
        },
        [](engine::WebView& webView) { return engine::webkit::WebKitEngine::widget(webView); });
    m_window->setContent(*m_pageHostView);
    m_webViewRemoved = m_pageServices->webViewFactory()->webViewRemoved.connect(
        [this](const ProfileId& id) { m_pageHostView->dropPage(id); });
    m_pageServices->startBackgroundLoading(*m_profileStore, m_pageHostView->windowPlacement());
    if (m_preferencesNotice)
        m_window->showNotice(*m_preferencesNotice);
    m_statusToast = std::make_unique<ui::StatusToast>(
        [this](const std::filesystem::path& file) { m_pageServices->downloads().reveal(file); });
    m_window->addOverlay(*m_statusToast);
    m_statusLines = m_pageServices->subscribeStatusLines(
        [this](const std::optional<StatusLine>& line) { m_statusToast->show(line); });
    auto* engine = &m_pageServices->engine();
    m_screens = std::make_unique<ui::ScreenActions>(ui::ScreenActions::Parts{
        m_gtkApplication, *m_window, *m_profilesViewModel, m_pageServices->mainWebViewModel(),
        [settings = m_pageServices->settingsViewModel()] { return settings->ignoreVPNWarning(); },
        [settings = m_pageServices->settingsViewModel()] {
            settings->ignoreVPNWarning.set(true);
            settings->saveSettings();
        },
        m_pageServices->vpnDetectionService(),
        ui::ProfileForm::BrowserImport{[engine] { return engine->nonPersistentDataStore(); },
                                       m_pageServices->domains().webHost},
        [this](bool ignore, bool warnAgain) { m_pageHostView->retryLoadGate(ignore, warnAgain); },
        [this](const ProfileId& id) { m_pageHostView->rebuildAfterDrop(id); },
        [this] { return m_pageHostView->webView(); }});
    if (std::getenv("ORVI_TEST_SCREENS"))
        m_screens->enableTestCommands();
    // The settings' VPN flag follows the machine each time the window comes to the front.
    m_window->property_is_active().signal_changed().connect([this] {
        if (m_window->is_active())
            m_pageServices->settingsViewModel()->checkVPNStatus([](bool) {});
    });
    m_window->present();
}

void Application::onFirstAppearance() {
    logLine("👁️ MainWebViewScreen onAppear called");
    // The notification delegate gets the profile store, notification permission is asked and
    // the status item is set up; the external-links setting reaches the navigation policy
    // and media permissions are requested 2.0 s later, as those services join.
    m_desktop->onFirstAppearance(*m_profileStore);
    m_startupMediaPermissions->windowDidAppear();
    applyTestResizeIfRequested();
}

void Application::applyTestResizeIfRequested() {
    if (auto size = testResizeRequest()) {
        logLine("🧪 Test resize requested: " + std::to_string(static_cast<int>(size->width)) + "x" +
                std::to_string(static_cast<int>(size->height)));
        m_window->requestSize(*size);
    }
}

void Application::showChatExport() {
    if (!m_window || m_windowClosed)
        return;
    if (m_chatExportSheet) {
        m_chatExportSheet->present();
        return;
    }
    auto model =
        ChatExportSheetModel::create(*m_preferences, m_scheduler, ui::chatExportModuleSource, [this] {
            const auto& coordinator = m_pageServices->mainWebViewModel()->coordinator();
            return coordinator ? coordinator->currentWebView() : nullptr;
        });
    m_chatExportSheet = std::make_unique<ui::ChatExportSheet>(*m_window, std::move(model));
    m_chatExportSheet->signalClosed().connect([this] {
        // Not from inside the sheet's own signal handler.
        Glib::signal_idle().connect_once([this] { m_chatExportSheet.reset(); });
    });
    m_chatExportSheet->present();
}

void Application::showSettings() {
    if (!m_window || m_windowClosed)
        return;
    if (!m_settingsWindow)
        m_settingsWindow = std::make_unique<ui::SettingsWindow>(
            *m_window, ui::SettingsWindow::Context{
                           m_pageServices->settingsViewModel(), m_pageServices->mainWebViewModel(),
                           *m_profileStore, m_paths.documentsDir, m_pageServices->domains().allowedDomain()});
    m_settingsWindow->present();
}

void Application::onShutdown() {
    // A collection in progress ends (and tidies the page) before the page is saved.
    m_chatExportSheet.reset();
    if (m_terminationSave)
        m_terminationSave->run();
    m_settingsWindow.reset();
    m_windowSizeTracker.reset();
}

void Application::installSignalHandlers() {
    // Signals end the run like closing the window does: the main loop stops and the
    // shutdown handler makes the termination save.
    auto quit = +[](gpointer data) -> gboolean {
        static_cast<Application*>(data)->m_gtkApplication->quit();
        return G_SOURCE_CONTINUE;
    };
    m_signalSources.push_back(g_unix_signal_add(SIGTERM, quit, this));
    m_signalSources.push_back(g_unix_signal_add(SIGINT, quit, this));
}

} // namespace orvi::app
