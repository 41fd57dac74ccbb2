#include "core/session/CookieManager.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieDictionary.h"
#include "core/session/OnceCompletion.h"

namespace orvi {
namespace {

// A keyed archive of the other desktop version starts with this binary property-list magic.
constexpr std::string_view kKeyedArchiveMagic = "bplist00";

void logCookieSummary(const std::vector<engine::Cookie>& cookies) {
    logLine("   Domains: " + cookies::domainSetText(cookies));
    for (const auto& line : cookies::firstCookieLines(cookies))
        logLine(line);
}

std::optional<std::string> compactJson(const Json& value) {
    // Strict about UTF-8: a value that cannot be written exactly is not written at all,
    // rather than saved altered.
    try {
        return value.dump();
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

} // namespace

CookieManager::CookieManager(PreferencesStore& userDefaults,
                             std::unique_ptr<CookieEncryptionProtocol> encryption, Scheduler& scheduler,
                             SessionEnvironment environment)
    : m_userDefaults(userDefaults), m_encryption(std::move(encryption)), m_scheduler(scheduler),
      m_environment(std::move(environment)), m_lifetime(std::make_shared<CookieManager*>(this)) {}

CookieManager::~CookieManager() = default;

void CookieManager::saveCookies(const ProfileId& profileId,
                                const std::shared_ptr<engine::DataStore>& dataStore) {
    saveCookies(profileId, dataStore, [] {});
}

void CookieManager::saveCookies(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                                Done completion) {
    if (!dataStore) {
        completion();
        return;
    }
    Lifetime lifetime = m_lifetime;
    dataStore->cookieStore().getAllCookies(
        [lifetime, profileId, completion = std::move(completion)](std::vector<engine::Cookie> cookies) {
            if (auto self = lifetime.lock())
                (*self)->storeCookies(profileId, cookies);
            completion();
        });
}

void CookieManager::storeCookies(const ProfileId& profileId, const std::vector<engine::Cookie>& cookies) {
    const auto key = keys::cookies(profileId);
    logLine("💾 Saving cookies for profile: " + profileId.text());
    logLine("   Found " + std::to_string(cookies.size()) + " cookies in dataStore");
    if (cookies.empty()) {
        // An empty store (a fresh web view, a wiped folder) must never erase a saved login.
        if (auto saved = m_userDefaults.data(key))
            logLine("   ⚠️ 0 cookies in dataStore, keeping previously saved cookies (size: " +
                    std::to_string(saved->size()) + " bytes)");
        else
            logLine("   ⚠️ 0 cookies in dataStore and nothing saved before – skipping save");
        return;
    }
    logCookieSummary(cookies);
    auto bytes = compactJson(cookies::toDictionaries(cookies));
    if (!bytes) {
        logLine("   ❌ Failed to serialize cookies to JSON");
        return;
    }
    if (!m_userDefaults.setData(key, *bytes)) {
        logLine("   ❌ Failed to write cookies to UserDefaults");
        return;
    }
    m_userDefaults.synchronize();
    logLine("   ✅ Saved " + std::to_string(cookies.size()) +
            " cookies to UserDefaults (size: " + std::to_string(bytes->size()) + " bytes)");
}

void CookieManager::restoreCookies(const ProfileId& profileId,
                                   const std::shared_ptr<engine::DataStore>& dataStore, Done completion) {
    const auto key = keys::cookies(profileId);
    logLine("📥 Restoring cookies for profile: " + profileId.text());
    auto saved = m_userDefaults.data(key);
    if (!saved) {
        logLine("   ⚠️ No saved cookies found in UserDefaults");
        completion();
        return;
    }
    logLine("   Found saved data (size: " + std::to_string(saved->size()) + " bytes)");

    auto parsed = parseJson(*saved);
    if (parsed && cookies::isArrayOfObjects(*parsed)) {
        logLine("   ✅ Parsed " + std::to_string(parsed->size()) + " cookie dictionaries (JSON format)");
        std::vector<engine::Cookie> cookies;
        for (const auto& dictionary : *parsed)
            if (auto cookie = cookies::readStrict(dictionary))
                cookies.push_back(std::move(*cookie));
        logLine("   ✅ Created " + std::to_string(cookies.size()) + " HTTPCookie objects");
        if (!cookies.empty())
            logCookieSummary(cookies);
        restoreCookiesArray(std::move(cookies), dataStore, std::move(completion));
        return;
    }

    logLine("   ❌ Failed to parse cookies from JSON");
    logLine("   🔄 Trying old format (NSKeyedArchiver)...");
    // There is no keyed-archive reader on this system, so a legacy entry is as unreadable as
    // a damaged one and takes the same path.
    if (std::string_view(*saved).substr(0, kKeyedArchiveMagic.size()) == kKeyedArchiveMagic)
        logLine("   ❌ Old format unarchiver error: keyed archives cannot be read on this system");
    else
        logLine("   ⚠️ Old format unarchiver returned nil or wrong type");
    logLine("   🗑️ Clearing corrupted cookie data");
    m_userDefaults.remove(key);
    completion();
}

void CookieManager::restoreCookiesArray(std::vector<engine::Cookie> cookies,
                                        const std::shared_ptr<engine::DataStore>& dataStore,
                                        Done completion) {
    OnceCompletion<> done(m_scheduler, std::move(completion));
    if (!dataStore) {
        done();
        return;
    }
    struct Group {
        OnceCompletion<> done;
        std::size_t expected;
        std::size_t remaining;
        int restored = 0;
    };
    const auto expected = cookies.size();
    auto group = std::make_shared<Group>(Group{done, expected, expected});
    std::weak_ptr<engine::DataStore> weakStore = dataStore;
    Scheduler& scheduler = m_scheduler;
    auto finish = [group, weakStore, &scheduler] {
        scheduler.post([group, weakStore] {
            logLine("   ✅ Restored " + std::to_string(group->restored) + " cookies to dataStore");
            auto store = weakStore.lock();
            if (!store) {
                group->done();
                return;
            }
            store->cookieStore().getAllCookies([group](std::vector<engine::Cookie> now) {
                logLine("   🔍 Verification: " + std::to_string(now.size()) + " cookies now in dataStore");
                if (now.size() != group->expected)
                    logLine("   ⚠️ Warning: Cookie count mismatch! Expected " +
                            std::to_string(group->expected) + ", got " + std::to_string(now.size()));
                group->done();
            });
        });
    };
    if (cookies.empty()) {
        finish();
        return;
    }
    for (const auto& cookie : cookies)
        dataStore->cookieStore().setCookie(cookie, [group, finish] {
            ++group->restored;
            if (--group->remaining == 0)
                finish();
        });
}

void CookieManager::clearCookies(const ProfileId& profileId) {
    m_userDefaults.remove(keys::cookies(profileId));
}

void CookieManager::importCookiesArray(std::vector<engine::Cookie> cookies, const ProfileId& profileId,
                                       const std::shared_ptr<engine::DataStore>& dataStore,
                                       CountCompletion completion) {
    OnceCompletion<int> done(m_scheduler, std::move(completion), 0);
    logLine("   📦 Starting import of " + std::to_string(cookies.size()) + " cookies to dataStore");
    if (!dataStore) {
        logLine("   ❌ No dataStore to import into");
        done(0);
        return;
    }
    logLine(std::string("   📊 DataStore type: ") +
            (dataStore->isPersistent() ? "persistent" : "nonPersistent"));
    if (cookies.empty()) {
        logLine("   ⚠️ No cookies to import");
        done(0);
        return;
    }
    struct Group {
        OnceCompletion<int> done;
        std::size_t remaining;
        int imported = 0;
    };
    auto group = std::make_shared<Group>(Group{done, cookies.size()});
    std::weak_ptr<engine::DataStore> weakStore = dataStore;
    Lifetime lifetime = m_lifetime;
    Scheduler& scheduler = m_scheduler;
    auto finish = [group, weakStore, lifetime, profileId, &scheduler] {
        scheduler.post([group, weakStore, lifetime, profileId] {
            logLine("   ✅ Imported " + std::to_string(group->imported) + " cookies to dataStore (failed: 0)");
            auto store = weakStore.lock();
            if (!store)
                return; // the group's completion then reports 0
            store->cookieStore().getAllCookies(
                [group, weakStore, lifetime, profileId](std::vector<engine::Cookie> now) {
                    logLine("   🔍 Verification: " + std::to_string(now.size()) + " cookies now in dataStore");
                    for (const auto& cookie : now)
                        logLine("      🍪 Cookie: " + cookie.name + "=" + cookies::redacted(cookie.value) +
                                " domain=" + cookie.domain + " path=" + cookie.path);
                    auto self = lifetime.lock();
                    auto store = weakStore.lock();
                    if (!self || !store)
                        return;
                    (*self)->saveCookies(profileId, store);
                    logLine("   💾 Cookies saved to UserDefaults for profile: " + profileId.text());
                    group->done(group->imported);
                });
        });
    };
    const auto total = cookies.size();
    for (std::size_t i = 0; i < total; ++i) {
        const auto& cookie = cookies[i];
        const auto number = std::to_string(i + 1);
        logLine("   📥 Importing cookie " + number + "/" + std::to_string(total) + ": " + cookie.name +
                " for domain " + cookie.domain);
        dataStore->cookieStore().setCookie(cookie, [group, finish, number, name = cookie.name] {
            ++group->imported;
            logLine("   ✅ Cookie " + number + " imported: " + name);
            if (--group->remaining == 0)
                finish();
        });
    }
}

void CookieManager::importCookiesArrayFromDicts(const Json& dictionaries, const ProfileId& profileId,
                                                const std::shared_ptr<engine::DataStore>& dataStore,
                                                CountCompletion completion) {
    logLine("   ✅ Parsed " + std::to_string(dictionaries.size()) + " cookie dictionaries from file");
    std::vector<engine::Cookie> cookies;
    for (const auto& dictionary : dictionaries)
        if (auto cookie = cookies::readLenient(dictionary))
            cookies.push_back(std::move(*cookie));
    logLine("   ✅ Created " + std::to_string(cookies.size()) + " HTTPCookie objects from file");
    if (!cookies.empty())
        logCookieSummary(cookies);
    importCookiesArray(std::move(cookies), profileId, dataStore, std::move(completion));
}

} // namespace orvi
