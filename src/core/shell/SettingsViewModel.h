#pragma once

#include "core/base/Scheduler.h"
#include "core/base/Signal.h"
#include "core/env/VPNDetectionServiceProtocol.h"
#include "core/notify/NotificationQuietRules.h"
#include "core/prefs/PreferencesStore.h"
#include "core/profiles/LocationSettings.h"
#include "core/session/BrowserCookieImportProtocol.h"
#include "core/session/ContainerArchiveProtocol.h"
#include "core/session/SessionExportProtocol.h"
#include "core/session/SessionImportProtocol.h"
#include "core/session/StorageSnapshotSyncProtocol.h"
#include "core/web/policy/OrviDomains.h"
#include "engine/WebView.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvi {

// How long a profile's page may stay in the background before it is dropped to free memory.
enum class HibernateAfter { never, fifteenMinutes, oneHour };

// Behind the settings screen: the application-wide toggles and default location (saved at
// once), the last VPN finding, clearing the shared web data, and every session transfer the
// user can start, each ending in one result line in `importResult`. An explicit import
// replaces the profile's session instead of merging into it. Main thread only.
class SettingsViewModel final : public std::enable_shared_from_this<SettingsViewModel> {
public:
    using BytesCompletion = std::function<void(std::optional<std::string>)>;
    using FileCompletion = std::function<void(std::optional<std::filesystem::path>)>;

    struct Dependencies {
        PreferencesStore& userDefaults;
        Scheduler& scheduler;
        // The shared default store is cleared; a scratch store takes imports apart.
        engine::Engine& engine;
        OrviDomains domains;
        std::shared_ptr<StorageSnapshotSyncProtocol> storageSync;
        std::shared_ptr<SessionExportProtocol> sessionExport;
        std::shared_ptr<SessionImportProtocol> sessionImport;
        std::shared_ptr<VPNDetectionServiceProtocol> vpnDetectionService;
        // Optional: absent means the feature is not available here.
        std::shared_ptr<ContainerArchiveProtocol> containerArchive;
        std::shared_ptr<BrowserCookieImportProtocol> browserCookieImport;
        // Gives a web view's document-start storage fill the newly saved snapshot.
        std::function<void(engine::WebView&)> renewDocumentStartStorage;
    };

    // Loads the settings and starts a VPN check.
    static std::shared_ptr<SettingsViewModel> create(Dependencies dependencies);

    Published<bool> blockExternalLinks{true};
    Published<bool> notificationsEnabled{true};
    Published<bool> mediaPermissionsEnabled{false};
    Published<bool> isImportingFromSafari{false};
    Published<std::optional<std::string>> importResult;
    Published<LocationSettings> locationSettings{LocationSettings::defaultLocation()};
    Published<bool> ignoreVPNWarning{false};
    Published<bool> isVPNEnabled{false};
    Published<bool> loadAllProfilesAtStartup{true};
    Published<HibernateAfter> hibernateAfter{HibernateAfter::never};
    // None while do not disturb is off.
    Published<std::optional<DoNotDisturb>> doNotDisturb;

    void saveSettings();
    // A toggle's new value, saved at once.
    void setBlockExternalLinks(bool value);
    void setNotificationsEnabled(bool value);
    void setMediaPermissionsEnabled(bool value);
    void setIgnoreVPNWarning(bool value);
    void updateLocation(const LocationSettings& location);
    void setLoadAllProfilesAtStartup(bool value);
    void setHibernateAfter(HibernateAfter value);

    // Read straight from the store, for the start-up that runs before any screen.
    static bool loadsAllProfilesAtStartup(const PreferencesStore& preferences);
    static std::optional<Duration> hibernationDelay(HibernateAfter choice);

    // Without rules the screen offers no do not disturb.
    void setQuietRules(NotificationQuietRules* quietRules);
    bool canChooseDoNotDisturb() const { return m_quietRules != nullptr; }
    // None turns it off; a kind starts it anew from now.
    void setDoNotDisturb(std::optional<DoNotDisturb> kind);

    void checkVPNStatus(std::function<void(bool)> completion);
    bool getVPNStatus();

    void clearAllData();

    bool canImportFromBrowser() const { return m_browserCookieImport != nullptr; }
    bool canUseContainers() const { return m_containerArchive != nullptr; }
    void importFromSafari(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                          const std::string& domain);
    void exportContainer(FileCompletion completion);
    void importContainer(const std::filesystem::path& archive,
                         std::function<void(bool succeeded)> completion);

    // The flows of the screen's data section. `webView` is the page on screen, if any.
    void exportCookies(const ProfileId& profileId, BytesCompletion completion);
    void exportEncrypted(const ProfileId& profileId, const std::string& password,
                         const std::shared_ptr<engine::WebView>& webView, BytesCompletion completion);
    // `exporter` writes the page's session to a file; the completion gets the path to copy.
    void exportAllData(const std::function<void(FileCompletion)>& exporter, FileCompletion completion);
    void importFile(const ProfileId& profileId, std::string data,
                    const std::shared_ptr<engine::WebView>& webView, std::function<void()> completion);
    void importEncryptedFile(const ProfileId& profileId, std::string data, const std::string& password,
                             const std::shared_ptr<engine::WebView>& webView,
                             std::function<void()> completion);
    void reportFileChoiceFailed(const std::string& description);
    void reportUnreadableFile();

    // Refreshes the saved storage from the live page, then exports its store encrypted.
    void exportActiveSessionEncrypted(const ProfileId& profileId, const std::string& password,
                                      const std::shared_ptr<engine::WebView>& webView,
                                      BytesCompletion completion);

    // Rules of the password sheets.
    static bool passwordsDiffer(const std::string& password, const std::string& confirmation);
    static bool canExportEncrypted(const std::string& password, const std::string& confirmation);
    static std::string exportFileName(const std::string& profileName);
    // Whether a plain session file holds at least one stored page value.
    static bool fileCarriesStorage(const std::string& data);

    static constexpr std::size_t kMinimumPlainFileSize = 10;
    static constexpr std::size_t kMinimumEncryptedFileSize = 44;

private:
    explicit SettingsViewModel(Dependencies dependencies);
    NotificationQuietRules* m_quietRules = nullptr;
    void loadSettings();
    bool readBoolean(std::string_view key, bool initial) const;
    // Puts the imported cookies (sitting in `imported`) in place of the profile's service
    // cookies, writes the imported storage over the page's, then reloads the page.
    void replaceSession(const ProfileId& profileId, const std::shared_ptr<engine::WebView>& webView,
                        const std::shared_ptr<engine::DataStore>& imported, bool replaceCookies,
                        bool restoreStorage, std::function<void()> completion);
    void replaceCookies(const std::shared_ptr<engine::DataStore>& imported,
                        const std::shared_ptr<engine::DataStore>& live, std::function<void()> completion);
    void reloadPage(engine::WebView& webView) const;
    void withEmptyScratchStore(std::function<void(const std::shared_ptr<engine::DataStore>&)> use);

    PreferencesStore& m_userDefaults;
    Scheduler& m_scheduler;
    engine::Engine& m_engine;
    OrviDomains m_domains;
    std::shared_ptr<StorageSnapshotSyncProtocol> m_storageSync;
    std::shared_ptr<SessionExportProtocol> m_sessionExport;
    std::shared_ptr<SessionImportProtocol> m_sessionImport;
    std::shared_ptr<VPNDetectionServiceProtocol> m_vpnDetectionService;
    std::shared_ptr<ContainerArchiveProtocol> m_containerArchive;
    std::shared_ptr<BrowserCookieImportProtocol> m_browserCookieImport;
    std::shared_ptr<engine::DataStore> m_scratchStore;
    std::function<void(engine::WebView&)> m_renewDocumentStartStorage;
};

} // namespace orvi
