#include "core/session/SessionImport.h"

#include "core/base/Log.h"
#include "core/session/CookieDictionary.h"
#include "core/session/OnceCompletion.h"
#include "core/session/ScopedWipe.h"
#include "core/session/SessionFile.h"
#include "core/session/StorageSnapshotSync.h"

namespace orvi {
namespace {

void logDetectedDocument(std::int64_t version) {
    logLine("   ✅ Detected export format version " + std::to_string(version) + " (with storage)");
}

void logInvalidDocument(const ImportInput& input) {
    logLine("   ❌ Export data is not a valid session document (" + input.problem + ") – nothing imported");
}

} // namespace

SessionImport::SessionImport(PreferencesStore& userDefaults,
                             std::shared_ptr<const CookieEncryptionProtocol> encryption, Scheduler& scheduler,
                             std::shared_ptr<CookieJarSyncProtocol> cookieJar)
    : m_userDefaults(userDefaults), m_encryption(std::move(encryption)), m_scheduler(scheduler),
      m_cookieJar(std::move(cookieJar)), m_lifetime(std::make_shared<SessionImport*>(this)) {}

SessionImport::~SessionImport() = default;

bool SessionImport::applyDocumentStorage(const ProfileId& profileId, const ImportInput& document) {
    if (!document.storage) {
        logLine("   ℹ️ No storage data in export file");
        return true;
    }
    auto bytes = document.storage->dump();
    ScopedWipe wiped(bytes);
    if (!StorageSnapshotSync::writeEntry(m_userDefaults, profileId, bytes)) {
        logLine("   ❌ Failed to write storage to UserDefaults for profile: " + profileId.text());
        return false;
    }
    logLine("   ✅ Saved storage to UserDefaults (size: " + std::to_string(bytes.size()) + " bytes)");
    logLine("   💡 Storage will be restored when WebView loads the page");
    return true;
}

void SessionImport::importCookies(const ProfileId& profileId, std::string data,
                                  const std::shared_ptr<engine::DataStore>& dataStore,
                                  CountCompletion completion) {
    // Each copy of a session is wiped, including the one the decrypting caller handed over.
    ScopedWipe wiped(data);
    logLine("📥 Importing cookies and storage from file for profile: " + profileId.text());
    logLine("   Data size: " + std::to_string(data.size()) + " bytes");
    if (!data.empty()) {
        // The bytes are a session: the log tells what they look like, never what they say.
        const auto preview = DataPreview::of(data);
        logLine((preview.isText ? "   📄 Data preview: " : "   📄 Data preview (hex): ") + preview.description);
    }

    const auto input = ImportInput::detect(data);
    switch (input.kind) {
    case ImportInput::Kind::tooLarge:
        logLine("   ❌ File is too large for a session export (limit " +
                std::to_string(SessionFile::kMaxImportSize) + " bytes)");
        completion(0);
        return;
    case ImportInput::Kind::zipContainer:
        logLine("   ❌ Detected ZIP archive (container file)");
        logLine("   💡 This is a container export, not a cookies file");
        logLine("   💡 Container import is currently not supported on iOS");
        logLine("   💡 Use 'Export cookies' (not 'Export container') on macOS to create a JSON file for iOS");
        completion(0);
        return;
    case ImportInput::Kind::tooSmallEmptyArray:
        logLine("   ⚠️ File is too small, might be empty or corrupted");
        logLine("   ❌ File contains empty array [] - no cookies to import!");
        logLine("   💡 This means the file was exported when there were 0 cookies in the profile");
        logLine("   💡 You need to export cookies again after logging in to the website");
        completion(0);
        return;
    case ImportInput::Kind::tooSmall:
        logLine("   ⚠️ File is too small, might be empty or corrupted");
        logLine("   ❌ File is too small and cannot be parsed");
        completion(0);
        return;
    case ImportInput::Kind::invalidDocument:
        logDetectedDocument(input.version);
        logInvalidDocument(input);
        completion(0);
        return;
    case ImportInput::Kind::document:
        logDetectedDocument(input.version);
        if (!applyDocumentStorage(profileId, input)) {
            completion(0);
            return;
        }
        if (!input.cookies) {
            logLine("   ⚠️ No cookies in export data");
            completion(0);
            return;
        }
        importCookiesArrayFromDicts(*input.cookies, profileId, dataStore, std::move(completion));
        return;
    case ImportInput::Kind::cookieArray:
        logLine("   ✅ Detected JSON format (" + std::to_string(input.array.size()) + " cookies)");
        importCookiesArrayFromDicts(input.array, profileId, dataStore, std::move(completion));
        return;
    case ImportInput::Kind::unknown:
        // A legacy keyed archive would be read here; this system has no reader for it.
        logLine("   ❌ Failed to parse cookies from JSON");
        logLine("   ❌ Could not parse file in any known format");
        logLine("   💡 If file is encrypted, use 'Import Encrypted Cookies' option");
        completion(0);
        return;
    }
}

void SessionImport::importCookiesEncrypted(const ProfileId& profileId, std::string data,
                                           const std::string& password,
                                           const std::shared_ptr<engine::DataStore>& dataStore,
                                           EncryptedImportCompletion completion) {
    logLine("📥 Importing encrypted cookies and storage for profile: " + profileId.text());
    logLine("   Encrypted data size: " + std::to_string(data.size()) + " bytes");
    if (data.size() > SessionFile::kMaxImportSize) {
        logLine("   ❌ File is too large for a session export (limit " +
                std::to_string(SessionFile::kMaxImportSize) + " bytes)");
        completion(Result<int>(
            Error{kCookieEncryptionErrorDomain, static_cast<int>(CookieEncryptionError::Kind::invalidData),
                  CookieEncryptionError::description(CookieEncryptionError::Kind::invalidData)}));
        return;
    }
    std::string plain;
    try {
        plain = m_encryption->decrypt(data, password);
    } catch (const CookieEncryptionError& error) {
        logLine(std::string("   ❌ Decryption error: ") + error.what());
        completion(
            Result<int>(Error{kCookieEncryptionErrorDomain, static_cast<int>(error.kind()), error.what()}));
        return;
    } catch (const std::exception& error) {
        const auto kind = CookieEncryptionError::Kind::decryptionFailed;
        logLine(std::string("   ❌ Decryption error: ") + CookieEncryptionError::description(kind));
        completion(Result<int>(Error{kCookieEncryptionErrorDomain, static_cast<int>(kind),
                                     CookieEncryptionError::description(kind)}));
        return;
    }
    ScopedWipe wipe(plain);
    logLine("   ✅ Decryption successful (decrypted size: " + std::to_string(plain.size()) + " bytes)");

    OnceCompletion<Result<int>> done(m_scheduler, std::move(completion), Result<int>(0));
    auto passCount = [done](int count) { done(Result<int>(count)); };

    const auto parsed = plain.size() <= SessionFile::kMaxImportSize ? parseJson(plain) : std::nullopt;
    const auto version = parsed ? ImportInput::documentVersion(*parsed) : std::nullopt;
    if (!version) {
        logLine("   ℹ️ Detected old export format (cookies only), importing cookies...");
        importCookies(profileId, plain, dataStore, passCount);
        return;
    }
    const auto document = ImportInput::fromDocument(*parsed, *version);
    logDetectedDocument(*version);
    if (document.kind == ImportInput::Kind::invalidDocument) {
        logInvalidDocument(document);
        done(Result<int>(0));
        return;
    }
    if (!applyDocumentStorage(profileId, document)) {
        done(Result<int>(0));
        return;
    }
    if (!document.cookies) {
        logLine("   ⚠️ No cookies in export data");
        done(Result<int>(0));
        return;
    }
    importCookies(profileId, document.cookies->dump(), dataStore, passCount);
}

void SessionImport::importCookiesArray(std::vector<engine::Cookie> cookies, const ProfileId& profileId,
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
    std::weak_ptr<SessionImport*> lifetime = m_lifetime;
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
                    (*self)->m_cookieJar->saveCookies(profileId, store);
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

void SessionImport::importCookiesArrayFromDicts(const Json& dictionaries, const ProfileId& profileId,
                                                const std::shared_ptr<engine::DataStore>& dataStore,
                                                CountCompletion completion) {
    logLine("   ✅ Parsed " + std::to_string(dictionaries.size()) + " cookie dictionaries from file");
    std::vector<engine::Cookie> cookies;
    for (const auto& dictionary : dictionaries)
        if (auto cookie = cookies::readLenient(dictionary))
            cookies.push_back(std::move(*cookie));
    logLine("   ✅ Created " + std::to_string(cookies.size()) + " HTTPCookie objects from file");
    if (!cookies.empty())
        cookies::logSummary(cookies);
    importCookiesArray(std::move(cookies), profileId, dataStore, std::move(completion));
}

} // namespace orvi
