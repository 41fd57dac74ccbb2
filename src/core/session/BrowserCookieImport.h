#pragma once

#include "core/base/Scheduler.h"
#include "core/session/BrowserCookieImportProtocol.h"
#include "core/session/CookieJarSyncProtocol.h"
#include "platform/BrowserKeyring.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace orvi {

// Where the browser import looks.
struct BrowserCookieSources {
    std::filesystem::path homeDir;
    // Holds the private copies of the browsers' databases while they are read.
    std::filesystem::path tempDir;
    // The engine's default network session; nothing when there is none.
    std::function<std::shared_ptr<engine::DataStore>()> defaultDataStore;
    // The desktop keyring for the Chromium "v11" key; null when there is none.
    platform::BrowserKeyring* keyring = nullptr;
};

// Gathers the cookies of the engine's default session and of the Linux browsers' cookie
// databases (Firefox, Chromium, Chrome), keeps the first of each domain and name in that
// order, keeps those of the requested domain and puts them into the profile's store.
class BrowserCookieImport final : public BrowserCookieImportProtocol {
public:
    // The cookie manager must outlive every import in flight (the application's own). The
    // data store handed to an import must live until its completion.
    BrowserCookieImport(Scheduler& scheduler, CookieJarSyncProtocol& cookieJar, BrowserCookieSources sources);
    ~BrowserCookieImport() override;
    BrowserCookieImport(const BrowserCookieImport&) = delete;
    BrowserCookieImport& operator=(const BrowserCookieImport&) = delete;

    void importFromBrowser(const ProfileId& profileId, engine::DataStore& dataStore,
                           const std::string& domain, std::function<void(int)> completion) override;

    // A cookie belongs to `target` when its domain contains the target, or the target
    // contains its domain with the dots removed (".example" for "web.example"). A domain
    // of dots only belongs to nothing.
    static bool belongsTo(const std::string& cookieDomain, const std::string& target);

private:
    Scheduler& m_scheduler;
    CookieJarSyncProtocol& m_cookieJar;
    BrowserCookieSources m_sources;
};

} // namespace orvi
