#pragma once

#include "core/base/Json.h"
#include "core/base/Scheduler.h"
#include "core/prefs/PreferencesStore.h"
#include "core/session/CookieEncryption.h"
#include "core/session/CookieJarSyncProtocol.h"
#include "core/session/ImportFormat.h"
#include "core/session/SessionImportProtocol.h"

#include <memory>
#include <vector>

namespace orvi {

class SessionImport final : public SessionImportProtocol {
public:
    // The jar saves the imported cookies once the store holds them, so they survive a restart
    // even when no page is loaded before it.
    SessionImport(PreferencesStore& userDefaults, std::shared_ptr<const CookieEncryptionProtocol> encryption,
                  Scheduler& scheduler, std::shared_ptr<CookieJarSyncProtocol> cookieJar);
    ~SessionImport() override;
    SessionImport(const SessionImport&) = delete;
    SessionImport& operator=(const SessionImport&) = delete;

    void importCookies(const ProfileId& profileId, std::string data,
                       const std::shared_ptr<engine::DataStore>& dataStore,
                       CountCompletion completion) override;
    void importCookiesEncrypted(const ProfileId& profileId, std::string data, const std::string& password,
                                const std::shared_ptr<engine::DataStore>& dataStore,
                                EncryptedImportCompletion completion) override;

private:
    void importCookiesArray(std::vector<engine::Cookie> cookies, const ProfileId& profileId,
                            const std::shared_ptr<engine::DataStore>& dataStore, CountCompletion completion);
    void importCookiesArrayFromDicts(const Json& dictionaries, const ProfileId& profileId,
                                     const std::shared_ptr<engine::DataStore>& dataStore,
                                     CountCompletion completion);
    bool applyDocumentStorage(const ProfileId& profileId, const ImportInput& document);

    PreferencesStore& m_userDefaults;
    std::shared_ptr<const CookieEncryptionProtocol> m_encryption;
    Scheduler& m_scheduler;
    std::shared_ptr<CookieJarSyncProtocol> m_cookieJar;
    // Callbacks hold this weakly and do nothing once the import is gone.
    std::shared_ptr<SessionImport*> m_lifetime;
};

} // namespace orvi
