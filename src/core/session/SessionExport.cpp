#include "core/session/SessionExport.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieDictionary.h"
#include "core/session/ExportFormat.h"
#include "core/session/OnceCompletion.h"
#include "core/session/ScopedWipe.h"
#include "core/session/SessionFile.h"
#include "core/session/StorageSnapshotSync.h"

namespace orvi {
namespace {

using namespace std::chrono_literals;

constexpr auto kFileExportRetryDelay = 2s;

std::optional<Json> savedSnapshotJson(const PreferencesStore& store, const ProfileId& profileId) {
    return StorageSnapshotSync::savedSnapshotJson(store, profileId);
}

Json emptyStorage() {
    return Json{{"localStorage", Json::object()}, {"sessionStorage", Json::object()}};
}

} // namespace

SessionExport::SessionExport(PreferencesStore& userDefaults,
                             std::shared_ptr<const CookieEncryptionProtocol> encryption, Scheduler& scheduler,
                             SessionEnvironment environment)
    : m_userDefaults(userDefaults), m_encryption(std::move(encryption)), m_scheduler(scheduler),
      m_environment(std::move(environment)), m_lifetime(std::make_shared<SessionExport*>(this)) {}

SessionExport::~SessionExport() = default;

void SessionExport::exportCookies(const ProfileId& profileId, BytesCompletion completion) {
    auto saved = m_userDefaults.data(keys::cookies(profileId));
    if (!saved) {
        completion(std::nullopt);
        return;
    }
    auto cookies = parseJson(*saved);
    auto storage = savedSnapshotJson(m_userDefaults, profileId);
    if (cookies && cookies::isArrayOfObjects(*cookies) && storage) {
        Json document{
            {"cookies", *cookies}, {"storage", *storage}, {"version", exportformat::kDocumentVersion}};
        if (auto bytes = exactJsonText(document)) {
            logLine("🔐 Exporting cookies and storage (size: " + std::to_string(bytes->size()) + " bytes)");
            completion(std::move(bytes));
            return;
        }
    }
    logLine("🔐 Exporting cookies only (size: " + std::to_string(saved->size()) + " bytes)");
    completion(std::move(saved));
}

void SessionExport::exportCookiesEncrypted(const ProfileId& profileId, const std::string& password,
                                           BytesCompletion completion) {
    OnceCompletion<std::optional<std::string>> done(m_scheduler, std::move(completion), std::nullopt);
    auto saved = m_userDefaults.data(keys::cookies(profileId));
    std::string noSaved;
    ScopedWipe wipedSaved(saved ? *saved : noSaved);
    if (!saved || saved->size() <= 2) {
        logLine("⚠️ No cookies in UserDefaults or file is empty (size: " +
                std::to_string(saved ? saved->size() : 0) + " bytes)");
        logLine("💡 Tip: Cookies need to be saved to UserDefaults before export, or use "
                "exportCookiesEncryptedFromDataStore instead");
        done(std::nullopt);
        return;
    }
    logLine("🔐 Exporting cookies from UserDefaults (size: " + std::to_string(saved->size()) + " bytes)");
    if (auto storageBytes = m_userDefaults.data(keys::storage(profileId)))
        logLine("   Found storage data (size: " + std::to_string(storageBytes->size()) + " bytes)");
    auto cookies = parseJson(*saved);
    if (!cookies || !cookies::isArrayOfObjects(*cookies)) {
        logLine("   ❌ Failed to parse cookies from UserDefaults");
        done(std::nullopt);
        return;
    }
    Json document{{"cookies", std::move(*cookies)}, {"version", exportformat::kDocumentVersion}};
    if (auto storage = savedSnapshotJson(m_userDefaults, profileId)) {
        document["storage"] = std::move(*storage);
        logLine("   ✅ Added storage to export");
    }
    auto bytes = exactJsonText(document);
    if (!bytes) {
        logLine("   ❌ Failed to serialize export data to JSON");
        done(std::nullopt);
        return;
    }
    ScopedWipe wiped(*bytes);
    std::string envelope;
    try {
        envelope = m_encryption->encrypt(*bytes, password);
    } catch (const std::exception& error) {
        logLine(std::string("❌ Encryption error: ") + error.what());
        done(std::nullopt);
        return;
    }
    logLine("🔐 Encrypted cookies and storage for export (size: " + std::to_string(envelope.size()) +
            " bytes)");
    done(std::move(envelope));
}

void SessionExport::exportCookiesEncryptedFromDataStore(const ProfileId& profileId,
                                                        const std::string& password,
                                                        const std::shared_ptr<engine::DataStore>& dataStore,
                                                        BytesCompletion completion) {
    OnceCompletion<std::optional<std::string>> done(m_scheduler, std::move(completion), std::nullopt);
    logLine("🔐 Exporting cookies from active dataStore for profile: " + profileId.text());
    logLine("   Reading the active WKWebsiteDataStore, including cookies unavailable to JavaScript");
    if (!dataStore) {
        done(std::nullopt);
        return;
    }
    std::weak_ptr<SessionExport*> lifetime = m_lifetime;
    dataStore->cookieStore().getAllCookies(
        [lifetime, profileId, password, done](std::vector<engine::Cookie> live) {
            auto self = lifetime.lock();
            if (!self)
                return;
            SessionExport& manager = **self;
            logLine("   Found " + std::to_string(live.size()) + " cookies in the active dataStore");
            if (auto storageBytes = manager.m_userDefaults.data(keys::storage(profileId)))
                logLine("   Found storage data (size: " + std::to_string(storageBytes->size()) + " bytes)");
            else
                logLine("   No storage data found in UserDefaults");
            Json document{{"cookies", cookies::toDictionaries(live)},
                          {"version", exportformat::kDocumentVersion},
                          {"source", exportformat::kLiveStoreSource}};
            if (auto storage = savedSnapshotJson(manager.m_userDefaults, profileId)) {
                document["storage"] = std::move(*storage);
                logLine("   ✅ Added storage to export");
            }
            auto bytes = exactJsonText(document);
            if (!bytes) {
                logLine("   ❌ Failed to serialize export data to JSON");
                done(std::nullopt);
                return;
            }
            ScopedWipe wiped(*bytes);
            logLine("   ✅ Serialized " + std::to_string(live.size()) +
                    " live cookies and storage to JSON (size: " + std::to_string(bytes->size()) + " bytes)");
            std::string envelope;
            try {
                envelope = manager.m_encryption->encrypt(*bytes, password);
            } catch (const std::exception& error) {
                logLine(std::string("   ❌ Encryption error: ") + error.what());
                done(std::nullopt);
                return;
            }
            logLine("🔐 Encrypted data for export (size: " + std::to_string(envelope.size()) + " bytes)");
            done(std::move(envelope));
        });
}

void SessionExport::exportToFile(const ProfileId& profileId,
                                 const std::shared_ptr<engine::DataStore>& dataStore,
                                 const std::shared_ptr<engine::WebView>& webView, FileCompletion completion) {
    OnceCompletion<std::optional<std::filesystem::path>> done(m_scheduler, std::move(completion),
                                                              std::nullopt);
    logLine("📤 Exporting cookies and storage to file for profile: " + profileId.text());
    if (!StorageSnapshotSync::isServicePage(webView.get(), m_environment.domains)) {
        // A page that is not the service's would put a foreign or empty storage into the
        // file; the last snapshot taken from the service page is the session to export.
        auto saved = savedSnapshotJson(m_userDefaults, profileId);
        logLine(std::string("   ⚠️ Page is not on the service host – exporting ") +
                (saved ? "the saved storage" : "empty storage"));
        continueFileExport(profileId, dataStore, saved ? *saved : emptyStorage(), done);
        return;
    }
    std::weak_ptr<SessionExport*> lifetime = m_lifetime;
    std::weak_ptr<engine::WebView> weakView = webView;
    webView->evaluateJavaScript(
        StorageSnapshot::captureScript(), engine::World::client,
        [lifetime, weakView, profileId, dataStore, done](engine::ScriptResult result) {
            auto self = lifetime.lock();
            if (!self)
                return;
            auto view = weakView.lock();
            if (!StorageSnapshotSync::isServicePage(view.get(), (*self)->m_environment.domains)) {
                // The capture may come from the page that replaced the
                // service's while it ran.
                auto saved = savedSnapshotJson((*self)->m_userDefaults, profileId);
                logLine(std::string("   ⚠️ Page left the service host – exporting ") +
                        (saved ? "the saved storage" : "empty storage"));
                (*self)->continueFileExport(profileId, dataStore, saved ? *saved : emptyStorage(), done);
                return;
            }
            Json storage = emptyStorage();
            if (result.ok() && result.value().is_string()) {
                auto parsed = parseJson(result.value().get_ref<const std::string&>());
                if (parsed && StorageSnapshot::fromJson(*parsed))
                    storage = std::move(*parsed);
            }
            (*self)->continueFileExport(profileId, dataStore, std::move(storage), done);
        });
}

void SessionExport::continueFileExport(const ProfileId& profileId,
                                       const std::shared_ptr<engine::DataStore>& dataStore, Json storage,
                                       FileCompletion completion) {
    OnceCompletion<std::optional<std::filesystem::path>> done(m_scheduler, std::move(completion),
                                                              std::nullopt);
    if (!dataStore) {
        done(std::nullopt);
        return;
    }
    std::weak_ptr<SessionExport*> lifetime = m_lifetime;
    std::weak_ptr<engine::DataStore> weakStore = dataStore;
    dataStore->cookieStore().getAllCookies(
        [lifetime, weakStore, profileId, storage, done](std::vector<engine::Cookie> cookies) {
            auto self = lifetime.lock();
            if (!self)
                return;
            logLine("   Found " + std::to_string(cookies.size()) + " cookies in dataStore");
            if (!cookies.empty()) {
                (*self)->saveExportToFile(cookies::toDictionaries(cookies), storage, profileId, done);
                return;
            }
            // Right after a page load the engine may not have handed its cookies over yet.
            logLine("   ⚠️ No cookies found, retrying in 2 seconds...");
            (*self)->m_scheduler.postAfter(
                kFileExportRetryDelay, [lifetime, weakStore, profileId, storage, done] {
                    auto self = lifetime.lock();
                    auto store = weakStore.lock();
                    if (!self || !store)
                        return;
                    store->cookieStore().getAllCookies([lifetime, profileId, storage,
                                                        done](std::vector<engine::Cookie> again) {
                        auto self = lifetime.lock();
                        if (!self)
                            return;
                        logLine("   🔄 Retry: Found " + std::to_string(again.size()) + " cookies");
                        (*self)->saveExportToFile(cookies::toDictionaries(again), storage, profileId, done);
                    });
                });
        });
}

void SessionExport::saveExportToFile(const Json& cookieDicts, const Json& storage, const ProfileId& profileId,
                                     FileCompletion completion) {
    const auto moment = m_environment.wallClock();
    Json document{{"cookies", cookieDicts},
                  {"storage", storage},
                  {"version", exportformat::kDocumentVersion},
                  {"profileId", profileId.text()},
                  {"exportedAt", exportformat::internetDateTime(moment)}};
    std::string text;
    try {
        text = exportformat::prettyText(document);
    } catch (const Json::exception&) {
        logLine("   ❌ Failed to serialize export data");
        completion(std::nullopt);
        return;
    }
    ScopedWipe wiped(text);
    if (m_environment.documentsDir.empty()) {
        logLine("   ❌ No documents folder to write the export to");
        completion(std::nullopt);
        return;
    }
    auto written = SessionFile::writeNew(m_environment.documentsDir, exportformat::fileStem(moment),
                                         exportformat::kFileExtension, text);
    if (!written) {
        logLine("   ❌ Failed to write file: " + written.error().message);
        completion(std::nullopt);
        return;
    }
    const std::string rule = "   " + [] {
        std::string line;
        for (int i = 0; i < 56; ++i)
            line += "═";
        return line;
    }();
    const auto localCount = storage.contains("localStorage") ? storage.at("localStorage").size() : 0;
    logLine(rule);
    logLine("   ✅ ЭКСПОРТ: " + written.value().string());
    logLine("   📊 Cookies: " + std::to_string(cookieDicts.size()) +
            ", Storage: " + std::to_string(localCount));
    logLine("   💡 Путь скопирован в буфер обмена");
    logLine(rule);
    completion(written.value());
}

} // namespace orvi
