#include "core/session/BrowserCookieImport.h"

#include "core/base/Log.h"
#include "core/session/BrowserCookieDatabases.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <map>
#include <set>
#include <unordered_set>

namespace orvi {
namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string domainList(const std::vector<engine::Cookie>& cookies, std::size_t first) {
    std::set<std::string> domains;
    for (std::size_t i = 0; i < std::min(first, cookies.size()); ++i)
        domains.insert(cookies[i].domain);
    std::string text = "[";
    for (const auto& domain : domains)
        text += (text.size() > 1 ? ", \"" : "\"") + domain + "\"";
    return text + "]";
}

std::string expiryText(const std::optional<double>& expires) {
    if (!expires)
        return "session";
    const auto seconds = static_cast<std::time_t>(*expires);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &parts));
}

// The browsers' databases, read in the background; everything here is logged as it is found.
std::vector<engine::Cookie> readBrowsers(const BrowserCookieSources& sources) {
    std::vector<engine::Cookie> cookies;
    const auto files = BrowserCookieDatabases::find(sources.homeDir);
    if (files.empty()) {
        logLine("🔍 Firefox and Chromium cookie databases not found in common locations");
        logLine(
            "💡 Looked in ~/.mozilla/firefox, ~/.config/chromium, ~/.config/google-chrome and their snap and "
            "flatpak folders");
        return cookies;
    }
    // The keyring is asked at most once per browser, and only for a value that needs it.
    std::map<std::string, std::pair<std::optional<std::string>, std::string>> passwords;
    for (const auto& file : files) {
        logLine("🔍 Found " + file.browser + " cookies file at: " + file.path.string());
        Result<BrowserCookieRead> read = Error{};
        if (file.kind == BrowserCookieFile::Kind::firefox) {
            read = BrowserCookieDatabases::readFirefox(file.path, sources.tempDir);
        } else {
            read = BrowserCookieDatabases::readChromium(
                file.path, sources.tempDir, [&](std::string& why) -> std::optional<std::string> {
                    auto known = passwords.find(file.keyringApplication);
                    if (known == passwords.end()) {
                        std::string reason = "no desktop keyring is available";
                        std::optional<std::string> password;
                        if (sources.keyring)
                            password = sources.keyring->safeStoragePassword(file.keyringApplication, reason);
                        known = passwords.emplace(file.keyringApplication, std::make_pair(password, reason))
                                    .first;
                    }
                    why = known->second.second;
                    return known->second.first;
                });
        }
        if (!read) {
            logLine("   ⚠️ Cannot read it: " + read.error().message);
            continue;
        }
        logLine("   ✅ Read " + std::to_string(read.value().cookies.size()) + " cookies");
        if (read.value().skipped > 0)
            logLine("   ⚠️ Skipped " + std::to_string(read.value().skipped) +
                    " encrypted cookies: " + read.value().skippedWhy);
        auto& found = read.value().cookies;
        cookies.insert(cookies.end(), std::make_move_iterator(found.begin()),
                       std::make_move_iterator(found.end()));
    }
    return cookies;
}

void logNothingFound(const std::string& domain, const std::vector<engine::Cookie>& unique) {
    logLine("⚠️ No cookies found in the browser for domain: " + domain);
    logLine("💡 Make sure you're logged in to " + domain + " in Firefox or Chromium first");
    logLine("💡 Try:");
    logLine("   1. Open Firefox, Chromium or Chrome");
    logLine("   2. Go to https://" + domain);
    logLine("   3. Log in if needed");
    logLine("   4. Keep the browser open");
    logLine("   5. Try importing again");
    if (unique.empty()) {
        logLine("⚠️ No cookies found in any storage.");
        logLine("💡 On Linux, Chromium and Chrome encrypt their cookies with a key from the desktop keyring.");
        logLine("💡 Without a keyring that answers, those cookies cannot be read.");
        logLine("💡 Recommended solution: Use export/import feature to exchange cookies between devices.");
        logLine("💡 Alternative: Log in manually in the app - cookies will be saved automatically.");
        return;
    }
    std::set<std::string> domains;
    for (const auto& cookie : unique)
        domains.insert(cookie.domain);
    logLine("📋 Available cookie domains (showing first 20):");
    std::size_t shown = 0;
    for (const auto& each : domains) {
        if (shown++ == 20)
            break;
        logLine("   - " + each);
    }
    if (domains.size() > 20)
        logLine("   ... and " + std::to_string(domains.size() - 20) + " more");
}

struct Gathering {
    Gathering(ProfileId id, engine::DataStore& store, std::string target, std::function<void(int)> done)
        : profileId(id), dataStore(&store), domain(std::move(target)), completion(std::move(done)) {}

    ProfileId profileId;
    engine::DataStore* dataStore;
    std::string domain;
    std::function<void(int)> completion;
    std::vector<engine::Cookie> fromSession;
    std::vector<engine::Cookie> fromBrowsers;
    int pending = 2;
    int toSet = 0;
    int set = 0;
};

} // namespace

BrowserCookieImport::BrowserCookieImport(Scheduler& scheduler, CookieJarSyncProtocol& cookieJar,
                                         BrowserCookieSources sources)
    : m_scheduler(scheduler), m_cookieJar(cookieJar), m_sources(std::move(sources)) {}

BrowserCookieImport::~BrowserCookieImport() = default;

bool BrowserCookieImport::belongsTo(const std::string& cookieDomain, const std::string& target) {
    const auto domain = lowercase(cookieDomain);
    const auto wanted = lowercase(target);
    std::string bare = domain;
    bare.erase(std::remove(bare.begin(), bare.end(), '.'), bare.end());
    // An empty name is contained in every target: it would match all.
    if (bare.empty() || wanted.empty())
        return false;
    return domain.find(wanted) != std::string::npos || wanted.find(bare) != std::string::npos;
}

void BrowserCookieImport::importFromBrowser(const ProfileId& profileId, engine::DataStore& dataStore,
                                            const std::string& domain, std::function<void(int)> completion) {
    auto gathering = std::make_shared<Gathering>(profileId, dataStore, domain, std::move(completion));

    auto& cookieJar = m_cookieJar;
    auto finish = [gathering, &cookieJar] {
        if (--gathering->pending > 0)
            return;
        std::vector<engine::Cookie> unique;
        std::unordered_set<std::string> seen;
        for (auto* source : {&gathering->fromSession, &gathering->fromBrowsers})
            for (auto& cookie : *source)
                if (seen.insert(cookie.domain + "|" + cookie.name).second)
                    unique.push_back(std::move(cookie));
        logLine("🔍 Total unique cookies found: " + std::to_string(unique.size()));
        std::vector<engine::Cookie> kept;
        std::copy_if(
            unique.begin(), unique.end(), std::back_inserter(kept),
            [&](const engine::Cookie& cookie) { return belongsTo(cookie.domain, gathering->domain); });
        if (kept.empty()) {
            logNothingFound(gathering->domain, unique);
            auto done = std::move(gathering->completion);
            done(0);
            return;
        }
        logLine("📥 Found " + std::to_string(kept.size()) +
                " cookies from the browser for domain: " + gathering->domain);
        gathering->toSet = static_cast<int>(kept.size());
        for (const auto& cookie : kept) {
            logLine("   - " + cookie.name + " (domain: " + cookie.domain +
                    ", expires: " + expiryText(cookie.expiresDate) + ")");
            gathering->dataStore->cookieStore().setCookie(cookie, [gathering, &cookieJar] {
                if (++gathering->set < gathering->toSet)
                    return;
                logLine("✅ Imported " + std::to_string(gathering->set) + " cookies from the browser");
                // The caller keeps the store alive until the completion; the save only reads it.
                std::shared_ptr<engine::DataStore> store(std::shared_ptr<void>(), gathering->dataStore);
                cookieJar.saveCookies(gathering->profileId, store, [gathering] {
                    auto done = std::move(gathering->completion);
                    done(gathering->set);
                });
            });
        }
    };

    auto session = m_sources.defaultDataStore ? m_sources.defaultDataStore() : nullptr;
    auto fromSession = [gathering, finish](std::vector<engine::Cookie> cookies) {
        logLine("🔍 Cookies from the default network session: " + std::to_string(cookies.size()));
        if (!cookies.empty())
            logLine("   Sample domains: " + domainList(cookies, 10));
        gathering->fromSession = std::move(cookies);
        finish();
    };
    if (session)
        session->cookieStore().getAllCookies(
            [session, fromSession](Result<std::vector<engine::Cookie>> read) {
                if (!read)
                    logLine("⚠️ Cookies of the default network session could not be read: " +
                            read.error().message);
                fromSession(read ? std::move(read).value() : std::vector<engine::Cookie>{});
            });
    else
        fromSession({});

    m_scheduler.runInBackground<std::vector<engine::Cookie>>(
        [sources = m_sources] { return readBrowsers(sources); },
        [gathering, finish](std::vector<engine::Cookie> cookies) {
            gathering->fromBrowsers = std::move(cookies);
            finish();
        });
}

} // namespace orvi
