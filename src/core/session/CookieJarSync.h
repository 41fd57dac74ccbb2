#pragma once

#include "core/base/Scheduler.h"
#include "core/prefs/PreferencesStore.h"
#include "core/session/CookieJarSyncProtocol.h"
#include "core/session/OnceCompletion.h"

#include <memory>
#include <vector>

namespace orvi {

class CookieJarSync final : public CookieJarSyncProtocol {
public:
    CookieJarSync(PreferencesStore& userDefaults, Scheduler& scheduler);
    ~CookieJarSync() override;
    CookieJarSync(const CookieJarSync&) = delete;
    CookieJarSync& operator=(const CookieJarSync&) = delete;

    void saveCookies(const ProfileId& profileId,
                     const std::shared_ptr<engine::DataStore>& dataStore) override;
    void saveCookies(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                     Done completion) override;
    void restoreCookies(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                        Done completion) override;
    void clearCookies(const ProfileId& profileId) override;

private:
    void storeCookies(const ProfileId& profileId, const std::vector<engine::Cookie>& cookies);
    void restoreCookiesArray(std::vector<engine::Cookie> cookies,
                             const std::shared_ptr<engine::DataStore>& dataStore, Done completion);
    // Sets the cookies, then checks the store holds `expected` cookies in all.
    void setCookiesArray(std::vector<engine::Cookie> cookies, std::size_t expected,
                         const std::shared_ptr<engine::DataStore>& dataStore, OnceCompletion<> done);

    PreferencesStore& m_userDefaults;
    Scheduler& m_scheduler;
    // Callbacks hold this weakly and do nothing once the sync is gone.
    std::shared_ptr<CookieJarSync*> m_lifetime;
};

} // namespace orvi
