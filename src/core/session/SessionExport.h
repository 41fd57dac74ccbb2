#pragma once

#include "core/base/Json.h"
#include "core/base/Scheduler.h"
#include "core/prefs/PreferencesStore.h"
#include "core/session/CookieEncryption.h"
#include "core/session/SessionEnvironment.h"
#include "core/session/SessionExportProtocol.h"

#include <memory>

namespace orvi {

class SessionExport final : public SessionExportProtocol {
public:
    SessionExport(PreferencesStore& userDefaults, std::shared_ptr<const CookieEncryptionProtocol> encryption,
                  Scheduler& scheduler, SessionEnvironment environment);
    ~SessionExport() override;
    SessionExport(const SessionExport&) = delete;
    SessionExport& operator=(const SessionExport&) = delete;

    void exportCookies(const ProfileId& profileId, BytesCompletion completion) override;
    void exportToFile(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                      const std::shared_ptr<engine::WebView>& webView, FileCompletion completion) override;
    void exportCookiesEncrypted(const ProfileId& profileId, const std::string& password,
                                BytesCompletion completion) override;
    void exportCookiesEncryptedFromDataStore(const ProfileId& profileId, const std::string& password,
                                             const std::shared_ptr<engine::DataStore>& dataStore,
                                             BytesCompletion completion) override;

private:
    void continueFileExport(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                            Json storage, FileCompletion completion);
    void saveExportToFile(const Json& cookieDicts, const Json& storage, const ProfileId& profileId,
                          FileCompletion completion);

    PreferencesStore& m_userDefaults;
    std::shared_ptr<const CookieEncryptionProtocol> m_encryption;
    Scheduler& m_scheduler;
    SessionEnvironment m_environment;
    // Callbacks hold this weakly and do nothing once the export is gone.
    std::shared_ptr<SessionExport*> m_lifetime;
};

} // namespace orvi
