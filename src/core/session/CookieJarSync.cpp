#include "core/session/CookieJarSync.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieDictionary.h"
#include "core/session/OnceCompletion.h"

#include <algorithm>

namespace orvi {
namespace {

// A keyed archive of the other desktop version starts with this binary property-list magic.
constexpr std::string_view kKeyedArchiveMagic = "bplist00";

// The store keeps one cookie per name, domain and path; a later one replaces it.
bool sameSlot(const engine::Cookie& a, const engine::Cookie& b) {
    auto path = [](const engine::Cookie& c) { return c.path.empty() ? std::string("/") : c.path; };
    return a.name == b.name && a.domain == b.domain && path(a) == path(b);
}

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
    dataStore->cookieStore().getAllCookies([lifetime, profileId, completion = std::move(completion)](
                                               Result<std::vector<engine::Cookie>> cookies) {
        if (auto self = lifetime.lock()) {
            if (cookies)
                (*self)->storeCookies(profileId, cookies.value());
            else
                logLine("💾 Saving cookies for profile: " + profileId.text() +
                        " – the dataStore could not be read (" + cookies.error().message +
                        "), keeping previously saved cookies");
        }
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
    const auto expected = cookies.size();
    if (!dataStore->isPersistent()) {
        setCookiesArray(std::move(cookies), expected, dataStore, done);
        return;
    }
    // A persistent store outlives a crash with whatever the service set last (a renewed
    // session token), while the saved copy may be older: the store holds the truth and the
    // copy only fills in what it lacks.
    std::weak_ptr<engine::DataStore> weakStore = dataStore;
    std::weak_ptr<CookieJarSync*> lifetime = m_lifetime;
    dataStore->cookieStore().getAllCookies([lifetime, weakStore, cookies = std::move(cookies), expected,
                                            done](Result<std::vector<engine::Cookie>> present) mutable {
        auto self = lifetime.lock();
        auto store = weakStore.lock();
        if (!self || !store) {
            done();
            return;
        }
        if (!present) {
            logLine("   ⚠️ Could not read the dataStore (" + present.error().message +
                    "), restoring every saved cookie");
        } else {
            auto held = [&](const engine::Cookie& saved) {
                return std::any_of(present.value().begin(), present.value().end(),
                                   [&](const engine::Cookie& live) { return sameSlot(live, saved); });
            };
            const auto before = cookies.size();
            std::erase_if(cookies, held);
            if (cookies.size() != before)
                logLine("   ℹ️ Keeping " + std::to_string(before - cookies.size()) +
                        " cookies the dataStore already holds");
        }
        (*self)->setCookiesArray(std::move(cookies), expected, store, done);
    });
}

void CookieJarSync::setCookiesArray(std::vector<engine::Cookie> cookies, std::size_t expected,
                                    const std::shared_ptr<engine::DataStore>& dataStore,
                                    OnceCompletion<> done) {
    struct Group {
        OnceCompletion<> done;
        std::size_t expected;
        std::size_t remaining;
        int restored = 0;
    };
    auto group = std::make_shared<Group>(Group{done, expected, cookies.size()});
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
            store->cookieStore().getAllCookies([group](Result<std::vector<engine::Cookie>> now) {
                if (!now) {
                    logLine("   ⚠️ Verification failed: " + now.error().message);
                    group->done();
                    return;
                }
                const auto count = now.value().size();
                logLine("   🔍 Verification: " + std::to_string(count) + " cookies now in dataStore");
                if (count != group->expected)
                    logLine("   ⚠️ Warning: Cookie count mismatch! Expected " +
                            std::to_string(group->expected) + ", got " + std::to_string(count));
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
