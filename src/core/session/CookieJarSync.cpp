#include "core/session/CookieJarSync.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieDictionary.h"
#include "core/session/OnceCompletion.h"

namespace orvi {
namespace {

// A keyed archive of the other desktop version starts with this binary property-list magic.
constexpr std::string_view kKeyedArchiveMagic = "bplist00";

} // namespace

CookieJarSync::CookieJarSync(PreferencesStore& userDefaults, Scheduler& scheduler)
    : m_userDefaults(userDefaults), m_scheduler(scheduler),
      m_lifetime(std::make_shared<CookieJarSync*>(this)) {}

CookieJarSync::~CookieJarSync() = default;

void CookieJarSync::saveCookies(const ProfileId& profileId,
                                const std::shared_ptr<engine::DataStore>& dataStore) {
    saveCookies(profileId, dataStore, [] {});
}

void CookieJarSync::saveCookies(const ProfileId& profileId,
                                const std::shared_ptr<engine::DataStore>& dataStore, Done completion) {
    if (!dataStore) {
        completion();
        return;
    }
    std::weak_ptr<CookieJarSync*> lifetime = m_lifetime;
    dataStore->cookieStore().getAllCookies(
        [lifetime, profileId, completion = std::move(completion)](std::vector<engine::Cookie> cookies) {
            if (auto self = lifetime.lock())
                (*self)->storeCookies(profileId, cookies);
            completion();
        });
}

void CookieJarSync::storeCookies(const ProfileId& profileId, const std::vector<engine::Cookie>& cookies) {
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
    cookies::logSummary(cookies);
    auto bytes = exactJsonText(cookies::toDictionaries(cookies));
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

void CookieJarSync::restoreCookies(const ProfileId& profileId,
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
            cookies::logSummary(cookies);
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

void CookieJarSync::restoreCookiesArray(std::vector<engine::Cookie> cookies,
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

void CookieJarSync::clearCookies(const ProfileId& profileId) {
    m_userDefaults.remove(keys::cookies(profileId));
}

} // namespace orvi
