#pragma once

#include "app/DesktopIntegration.h"
#include "app/PageServices.h"
#include "core/notify/NotificationQuietRules.h"
#include "core/prefs/PreferencesStore.h"
#include "core/profiles/ProfileStore.h"
#include "core/profiles/ProfilesViewModel.h"
#include "core/shell/HeapRelease.h"
#include "core/shell/StartupMediaPermissions.h"
#include "core/shell/TerminationSave.h"
#include "core/shell/WindowSizeManager.h"
#include "core/shell/WindowSizeTracker.h"
#include "platform/Paths.h"
#include "platform/linux/GLibScheduler.h"
#include "ui/ChatExportSheet.h"
#include "ui/MainWindow.h"
#include "ui/PageHostView.h"
#include "ui/ScreenActions.h"
#include "ui/SettingsWindow.h"
#include "ui/StatusToast.h"

#include <functional>
#include <gtkmm.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvi::app {

// The composition root: builds the long-lived object graph once, when the primary instance
// starts, owns it until the process ends, and ends every run through one termination path
// (window close, SIGTERM or SIGINT).
class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    int run(int argc, char* argv[]);
    // The run ended through "app.restart" (after a container import): main starts the
    // binary again once everything here is torn down.
    bool restartRequested() const { return m_restartRequested; }

private:
    void buildObjectGraph();
    void onActivate();
    void onFirstAppearance();
    void onShutdown();
    void showSettings();
    void installSignalHandlers();
    void applyTestResizeIfRequested();
    void showChatExport();
    std::unique_ptr<PreferencesStore> openPreferences();
    void watchForHeapRelease();

    platform::Paths m_paths;
    Glib::RefPtr<Gtk::Application> m_gtkApplication;
    platform::GLibScheduler m_scheduler;

    // Each member may use the ones declared above it, and is destroyed before them.
    std::unique_ptr<PreferencesStore> m_preferences;
    std::unique_ptr<ProfileStore> m_profileStore;
    // The status item controller and the notification service, with their desktop ends.
    // Outlives the tray and the notification service that ask it.
    std::unique_ptr<NotificationQuietRules> m_quietRules;
    std::unique_ptr<DesktopIntegration> m_desktop;
    std::unique_ptr<WindowSizeManager> m_windowSizeManager;
    std::unique_ptr<PageServices> m_pageServices;
    std::unique_ptr<HeapRelease> m_heapRelease;
    std::vector<Connection> m_heapWork;
    std::shared_ptr<StartupMediaPermissions> m_startupMediaPermissions;
    std::unique_ptr<ProfilesViewModel> m_profilesViewModel;
    std::unique_ptr<TerminationSave> m_terminationSave;

    std::unique_ptr<ui::MainWindow> m_window;
    std::unique_ptr<ui::PageHostView> m_pageHostView;
    Connection m_webViewRemoved;
    std::unique_ptr<ui::StatusToast> m_statusToast;
    Connection m_statusLines;
    std::unique_ptr<ui::SettingsWindow> m_settingsWindow;
    std::unique_ptr<ui::ScreenActions> m_screens;
    std::unique_ptr<WindowSizeTracker> m_windowSizeTracker;
    // Shown on "app.export-chat"; a new one (with a new collector) each time it opens.
    std::unique_ptr<ui::ChatExportSheet> m_chatExportSheet;
    std::vector<unsigned> m_signalSources;
    bool m_windowClosed = false;
    // Why this run's preference changes will be lost, for the window.
    std::optional<std::string> m_preferencesNotice;
    bool m_restartRequested = false;
};

} // namespace orvi::app
