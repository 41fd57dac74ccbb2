#pragma once

#include "core/base/Scheduler.h"
#include "core/prefs/PreferencesStore.h"
#include "core/session/CookieEncryption.h"
#include "core/session/CookieManagerProtocol.h"
#include "core/session/ImportFormat.h"
#include "core/session/StorageSnapshot.h"
#include "core/web/policy/OrviDomains.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace orvi {

// What the manager needs from its surroundings besides the store and the envelope.
struct SessionEnvironment {
    // Where file exports go; empty when the user has no documents folder.
    std::filesystem::path documentsDir;
    // The service's hosts. Storage is captured from and written into pages on its web host
    // only.
    OrviDomains domains;
    // The wall clock, for the export's date stamp and file name.
    std::function<std::chrono::system_clock::time_point()> wallClock = [] {
        return std::chrono::system_clock::now();
    };
};

class CookieManager final : public CookieManagerProtocol {
public:
    CookieManager(PreferencesStore& userDefaults, std::unique_ptr<CookieEncryptionProtocol> encryption,
                  Scheduler& scheduler, SessionEnvironment environment);
    ~CookieManager() override;
    CookieManager(const CookieManager&) = delete;
    CookieManager& operator=(const CookieManager&) = delete;

    void saveCookies(const ProfileId& profileId,
                     const std::shared_ptr<engine::DataStore>& dataStore) override;
    void saveCookies(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                     Done completion) override;
    void restoreCookies(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                        Done completion) override;
    void clearCookies(const ProfileId& profileId) override;
    void saveStorage(const ProfileId& profileId, const std::shared_ptr<engine::WebView>& webView,
                     Done completion) override;
    void restoreStorage(const ProfileId& profileId, const std::shared_ptr<engine::WebView>& webView,
                        Done completion) override;
    void exportCookies(const ProfileId& profileId, BytesCompletion completion) override;
    void importCookies(const ProfileId& profileId, std::string data,
                       const std::shared_ptr<engine::DataStore>& dataStore,
                       CountCompletion completion) override;
    void exportToFile(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                      const std::shared_ptr<engine::WebView>& webView, FileCompletion completion) override;
    void exportCookiesEncrypted(const ProfileId& profileId, const std::string& password,
                                BytesCompletion completion) override;
    void exportCookiesEncryptedFromDataStore(const ProfileId& profileId, const std::string& password,
                                             const std::shared_ptr<engine::DataStore>& dataStore,
                                             BytesCompletion completion) override;
    void importCookiesEncrypted(const ProfileId& profileId, std::string data, const std::string& password,
                                const std::shared_ptr<engine::DataStore>& dataStore,
                                EncryptedImportCompletion completion) override;

private:
    using Lifetime = std::weak_ptr<CookieManager*>;

    // Cookies (CookieManager.cpp).
    void storeCookies(const ProfileId& profileId, const std::vector<engine::Cookie>& cookies);
    void restoreCookiesArray(std::vector<engine::Cookie> cookies,
                             const std::shared_ptr<engine::DataStore>& dataStore, Done completion);
    void importCookiesArray(std::vector<engine::Cookie> cookies, const ProfileId& profileId,
                            const std::shared_ptr<engine::DataStore>& dataStore, CountCompletion completion);
    void importCookiesArrayFromDicts(const Json& dictionaries, const ProfileId& profileId,
                                     const std::shared_ptr<engine::DataStore>& dataStore,
                                     CountCompletion completion);

    // Storage (CookieManagerStorage.cpp).
    bool isServicePage(const engine::WebView* webView) const;
    std::optional<StorageSnapshot> savedStorage(const ProfileId& profileId) const;
    bool writeStorageEntry(const ProfileId& profileId, const std::string& bytes);

    // Files (CookieManagerFiles.cpp).
    void continueFileExport(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                            Json storage, FileCompletion completion);
    void saveExportToFile(const Json& cookieDicts, const Json& storage, const ProfileId& profileId,
                          FileCompletion completion);
    // Imports (CookieManagerImport.cpp).
    bool applyDocumentStorage(const ProfileId& profileId, const ImportInput& document);

    PreferencesStore& m_userDefaults;
    std::unique_ptr<CookieEncryptionProtocol> m_encryption;
    Scheduler& m_scheduler;
    SessionEnvironment m_environment;
    // Callbacks hold this weakly and do nothing once the manager is gone.
    std::shared_ptr<CookieManager*> m_lifetime;
};

} // namespace orvi
