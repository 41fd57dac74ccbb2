#include "app/PageServices.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieEncryption.h"
#include "core/shell/ActiveSessionSave.h"
#include "platform/linux/LinuxNetworkEnvironment.h"

namespace orvi::app {

PageServices::PageServices(Scheduler& scheduler, PreferencesStore& preferences, ProfileStore& profileStore,
                           NotificationService& notificationService, const platform::Paths& paths,
                           OrviDomains domains, std::optional<std::string> proxy)
    : m_scheduler(scheduler), m_preferences(preferences), m_domains(std::move(domains)),
      m_sessionPreferences(preferences),
      m_engine(paths.engineDataDir(), paths.engineCacheDir(), std::move(proxy)),
      m_notificationService(notificationService) {
    m_vpnDetectionService = std::make_shared<VPNDetectionService>(
        std::make_shared<platform::LinuxNetworkEnvironment>(), scheduler);
    m_navigationPolicyService = std::make_shared<NavigationPolicyService>(m_domains, true);
    m_unreadDetectionService = UnreadDetectionService::create();
    auto encryption = std::make_shared<const CookieEncryption>();
    m_cookieJarSync = std::make_shared<CookieJarSync>(m_sessionPreferences, scheduler);
    m_storageSnapshotSync = std::make_shared<StorageSnapshotSync>(m_sessionPreferences, scheduler, m_domains);
    m_sessionExport = std::make_shared<SessionExport>(m_sessionPreferences, encryption, scheduler,
                                                      SessionEnvironment{paths.documentsDir, m_domains});
    m_sessionImport =
        std::make_shared<SessionImport>(m_sessionPreferences, encryption, scheduler, m_cookieJarSync);
    m_webViewFactory = std::make_shared<WebViewFactory>(m_engine, m_sessionPreferences, scheduler, m_domains);
    m_mainWebViewModel = MainWebViewModel::create(
        profileStore, SessionSync{m_cookieJarSync, m_storageSnapshotSync}, m_sessionExport,
        m_navigationPolicyService, m_unreadDetectionService, m_notificationService,
        CoordinatorContext{scheduler, m_domains, m_sessions, m_pendingMessages});

    m_deletionCleaner = std::make_unique<ProfileDeletionCleaner>(
        profileStore,
        std::vector<ProfileDeletionCleaner::Forget>{
            [this](const ProfileId& id) { m_sessionPreferences.forgetProfile(id); },
            [this](const ProfileId& id) { m_sessions.forgetProfile(id); },
            [this](const ProfileId& id) { m_mainWebViewModel->forgetProfile(id); },
            [this](const ProfileId& id) { m_notificationService.forgetProfile(id); },
            [this](const ProfileId& id) { m_webViewFactory->removeWebView(id); },
            // The engine drops its session for the profile before deleting the folders, so a
            // session still alive cannot write data back into them.
            [this](const ProfileId& id) { m_engine.removeDataStore(id.text(), [](bool) {}); }},
        std::vector<std::filesystem::path>{});
}

PageHost::Context PageServices::hostContext() {
    auto factory = m_webViewFactory;
    return PageHost::Context{
        PageLoadContext{m_scheduler, m_preferences, m_domains, *m_vpnDetectionService, m_sessions},
        [factory](const Profile& profile, const std::optional<LocationSettings>& location) {
            return factory->makeWebView(profile, location);
        }};
}

PageLoader::Options PageServices::loadOptions(Gtk::Window* parent) {
    PageLoader::Options options;
    options.ignoreVPNWarning = m_preferences.boolean(keys::kIgnoreVPNWarning);
    auto& preferences = m_preferences;
    options.onVPNWarning = [parent, &preferences] {
        auto* dialog = new Gtk::MessageDialog("VPN обнаружен", false, Gtk::MessageType::WARNING,
                                              Gtk::ButtonsType::NONE, true);
        dialog->set_secondary_text("Обнаружено активное VPN соединение. Для корректной работы рекомендуется "
                                   "отключить VPN перед подключением.");
        if (parent)
            dialog->set_transient_for(*parent);
        dialog->add_button("Отключить VPN", Gtk::ResponseType::OK);
        dialog->add_button("Мне всё равно", Gtk::ResponseType::REJECT);
        dialog->add_button("Отмена", Gtk::ResponseType::CANCEL);
        dialog->set_default_response(Gtk::ResponseType::OK);
        dialog->signal_response().connect([dialog, &preferences](int response) {
            if (response == static_cast<int>(Gtk::ResponseType::REJECT))
                preferences.setBoolean(keys::kIgnoreVPNWarning, true);
            dialog->hide();
            delete dialog;
        });
        dialog->show();
    };
    return options;
}

TerminationSave::Hook PageServices::terminationHook() {
    return ActiveSessionSave::hook(*m_mainWebViewModel, m_sessions);
}

} // namespace orvi::app
