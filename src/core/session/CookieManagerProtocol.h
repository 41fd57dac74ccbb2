#pragma once

#include "core/base/ProfileId.h"
#include "core/base/Result.h"
#include "engine/WebView.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvi {

// Saves and restores each profile's session (cookies and web storage) and moves it through
// export files. Every call is made on the main thread. Every completion is called exactly
// once on every path, also when the web view, the data store or the manager goes away
// before the engine answers (then with the failure value: nothing, 0, or no result).
class CookieManagerProtocol {
public:
    using Done = std::function<void()>;
    using BytesCompletion = std::function<void(std::optional<std::string>)>;
    using CountCompletion = std::function<void(int)>;
    using FileCompletion = std::function<void(std::optional<std::filesystem::path>)>;
    using EncryptedImportCompletion = std::function<void(Result<int>)>;

    virtual ~CookieManagerProtocol() = default;

    // Rewrites the profile's saved cookies from the store once it answers; an empty store
    // never overwrites a saved session. Fire and forget.
    virtual void saveCookies(const ProfileId& profileId,
                             const std::shared_ptr<engine::DataStore>& dataStore) = 0;
    // The same, with a completion called once the saved entry is written or the save was
    // given up (for the termination save, which must wait for it).
    virtual void saveCookies(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                             Done completion) = 0;
    // Puts the saved cookies into the store; completion once they are all in (synchronously
    // when nothing usable is saved).
    virtual void restoreCookies(const ProfileId& profileId,
                                const std::shared_ptr<engine::DataStore>& dataStore, Done completion) = 0;
    // Forgets the saved cookies; the data store is not touched.
    virtual void clearCookies(const ProfileId& profileId) = 0;

    // Captures the page's localStorage and sessionStorage when the page is on the service
    // host; completion once the page answered, whatever the outcome.
    virtual void saveStorage(const ProfileId& profileId, const std::shared_ptr<engine::WebView>& webView,
                             Done completion) = 0;
    // Writes the saved snapshot into the page when it is on the service host; completion
    // after both stores were written (synchronously when there is nothing to write).
    virtual void restoreStorage(const ProfileId& profileId, const std::shared_ptr<engine::WebView>& webView,
                                Done completion) = 0;

    // Versioned document from the saved entries, or the bare saved cookie entry, or none.
    virtual void exportCookies(const ProfileId& profileId, BytesCompletion completion) = 0;
    // Puts the cookies of an export file into the store (and its storage into the saved
    // entry); completion with the number of cookies set, 0 on every failure.
    virtual void importCookies(const ProfileId& profileId, std::string data,
                               const std::shared_ptr<engine::DataStore>& dataStore,
                               CountCompletion completion) = 0;
    // Writes the live session to a new file in the documents folder; its path or none.
    virtual void exportToFile(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                              const std::shared_ptr<engine::WebView>& webView, FileCompletion completion) = 0;
    // Password envelope of the saved entries, or none.
    virtual void exportCookiesEncrypted(const ProfileId& profileId, const std::string& password,
                                        BytesCompletion completion) = 0;
    // Password envelope of the store's live cookies and the saved storage, or none.
    virtual void exportCookiesEncryptedFromDataStore(const ProfileId& profileId, const std::string& password,
                                                     const std::shared_ptr<engine::DataStore>& dataStore,
                                                     BytesCompletion completion) = 0;
    // Opens an envelope and imports what it holds. A failure carries the envelope's error
    // (domain kCookieEncryptionErrorDomain, its Russian text as message); success the count.
    virtual void importCookiesEncrypted(const ProfileId& profileId, std::string data,
                                        const std::string& password,
                                        const std::shared_ptr<engine::DataStore>& dataStore,
                                        EncryptedImportCompletion completion) = 0;
};

inline constexpr const char* kCookieEncryptionErrorDomain = "OrviWrapper.CookieEncryptionError";

} // namespace orvi
