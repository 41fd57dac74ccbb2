#include "app/PageServices.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieEncryption.h"
#include "core/shell/ActiveSessionSave.h"
#include "platform/linux/GioUriLauncher.h"
#include "platform/linux/LinuxNetworkEnvironment.h"

namespace orvi::app {

namespace {

std::shared_ptr<CookieManager> makeCookieManager(PreferencesStore& preferences, Scheduler& scheduler,
                                                 const platform::Paths& paths, const OrviDomains& domains) {
    SessionEnvironment environment;
    environment.documentsDir = paths.documentsDir;
    environment.domains = domains;
    return std::make_shared<CookieManager>(preferences, std::make_unique<CookieEncryption>(), scheduler,
                                           std::move(environment));
}

} // namespace

PageServices::PageServices(Scheduler& scheduler, PreferencesStore& preferences, ProfileStore& profileStore,
                           NotificationService& notificationService, const platform::Paths& paths,
                           OrviDomains domains, std::optional<std::string> proxy)
    : m_scheduler(scheduler), m_preferences(preferences), m_domains(std::move(domains)),
      m_sessionPreferences(preferences),
      m_engine(paths.engineDataDir(), paths.engineCacheDir(), std::move(proxy)),
      m_notificationService(notificationService) {
    m_settingsCookieManager = makeCookieManager(m_sessionPreferences, scheduler, paths, m_domains);
    m_vpnDetectionService = std::make_shared<VPNDetectionService>(
        std::make_shared<platform::LinuxNetworkEnvironment>(), scheduler);
    m_settingsViewModel = SettingsViewModel::create(SettingsViewModel::Dependencies{
        m_preferences, scheduler, m_engine, m_domains, m_settingsCookieManager, m_vpnDetectionService,
        nullptr, nullptr, [this](engine::WebView& webView) {
            // Built further down; imports start only once the window is up.
            if (m_webViewFactory)
                m_webViewFactory->renewStorageRestoreScript(webView);
        }});
    m_navigationPolicyService = std::make_shared<NavigationPolicyService>(
        m_domains, true, std::make_shared<platform::GioUriLauncher>());
    m_navigationPolicyService->setBlockExternalLinks(m_settingsViewModel->blockExternalLinks());
    m_externalLinksSetting = m_settingsViewModel->blockExternalLinks.subscribe(
        [policy = m_navigationPolicyService](bool block) { policy->setBlockExternalLinks(block); });
    m_unreadDetectionService = UnreadDetectionService::create();
    m_cookieManager = makeCookieManager(m_sessionPreferences, scheduler, paths, m_domains);
    m_webViewFactory = std::make_shared<WebViewFactory>(m_engine, m_sessionPreferences, scheduler, m_domains,
                                                        m_cookieManager);
    m_mainWebViewModel = MainWebViewModel::create(
        profileStore, m_cookieManager, m_navigationPolicyService, m_unreadDetectionService,
        m_notificationService, CoordinatorContext{scheduler, m_domains, m_sessions, m_pendingMessages});

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
    options.ignoreVPNWarning = m_settingsViewModel->ignoreVPNWarning();
    // Through the settings model, so that its next save does not write the old value back.
    std::weak_ptr<SettingsViewModel> settings = m_settingsViewModel;
    options.onVPNWarning = [parent, settings] {
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
        dialog->signal_response().connect([dialog, settings](int response) {
            if (response == static_cast<int>(Gtk::ResponseType::REJECT))
                if (auto model = settings.lock())
                    model->setIgnoreVPNWarning(true);
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
