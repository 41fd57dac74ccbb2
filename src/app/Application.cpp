#include "app/Application.h"

#include "core/base/Log.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "core/shell/ApplicationInfoChecks.h"
#include "engine/webkit/ProxyEnvironment.h"
#include "platform/linux/OrviApplicationInfo.h"
#include "platform/linux/XdgPaths.h"

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

} // namespace

Application::Application()
    : m_gtkApplication(Gtk::Application::create(platform::kApplicationId)),
      m_paths(platform::makeXdgPaths()) {
    // Only the primary instance starts up; a second launch activates the first one's window.
    m_gtkApplication->signal_startup().connect([this] { buildObjectGraph(); });
    m_gtkApplication->signal_activate().connect([this] { onActivate(); });
    m_gtkApplication->signal_shutdown().connect([this] { onShutdown(); }, false);
}

Application::~Application() {
    for (auto source : m_signalSources)
        g_source_remove(source);
}

int Application::run(int argc, char* argv[]) {
    return m_gtkApplication->run(argc, argv);
}

std::unique_ptr<PreferencesStore> Application::openPreferences() {
    auto store = SqlitePreferencesStore::create(m_paths.preferencesFile());
    if (store.ok())
        return std::move(store).value();
    logLine("❌ Cannot open the preferences store: " + store.error().message);
    logLine("⚠️ Running with preferences in memory: nothing will be kept after this run");
    auto memory = SqlitePreferencesStore::createInMemory();
    if (!memory.ok()) {
        logLine("❌ Cannot create preferences in memory: " + memory.error().message);
        std::abort();
    }
    return std::move(memory).value();
}

void Application::buildObjectGraph() {
    m_preferences = openPreferences();
    m_profileStore = std::make_unique<ProfileStore>(*m_preferences);
    m_desktop = std::make_unique<DesktopIntegration>(
        *m_gtkApplication.get(), m_scheduler,
        DesktopIntegration::WindowAccess{
            [this]() -> Gtk::Window* { return m_window && !m_windowClosed ? m_window.get() : nullptr; },
            [this] { m_gtkApplication->quit(); }});
    m_windowSizeManager = std::make_unique<WindowSizeManager>(*m_preferences);
    // Both were checked before the application started (main.cpp).
    auto domains = OrviDomains::fromEnvironment();
    auto proxy = engine::webkit::proxyFromEnvironment();
    m_pageServices = std::make_unique<PageServices>(
        m_scheduler, *m_preferences, *m_profileStore, m_desktop->notificationService(), m_paths,
        domains.ok() ? domains.value() : OrviDomains::defaults(), proxy.ok() ? proxy.value() : std::nullopt);
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
    installSignalHandlers();
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
    m_pageHostView =
        std::make_unique<ui::PageHostView>(m_pageServices->mainWebViewModel(), m_pageServices->hostContext(),
                                           [this] { return m_pageServices->loadOptions(m_window.get()); });
    m_window->setContent(*m_pageHostView);
    m_window->present();
}

void Application::onFirstAppearance() {
    logLine("👁️ MainWebViewScreen onAppear called");
    // The notification delegate gets the profile store, notification permission is asked and
    // the status item is set up; the external-links setting reaches the navigation policy
    // and media permissions are requested 2.0 s later, as those services join.
    m_desktop->onFirstAppearance(*m_profileStore);
    applyTestResizeIfRequested();
}

void Application::applyTestResizeIfRequested() {
    if (auto size = testResizeRequest()) {
        logLine("🧪 Test resize requested: " + std::to_string(static_cast<int>(size->width)) + "x" +
                std::to_string(static_cast<int>(size->height)));
        m_window->requestSize(*size);
    }
}

void Application::onShutdown() {
    if (m_terminationSave)
        m_terminationSave->run();
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
