#pragma once

#include "core/base/ProfileId.h"
#include "core/base/Result.h"
#include "engine/WebView.h"

#include <functional>
#include <memory>
#include <string>

namespace orvi {

// Puts the session of an export file into a profile: its cookies into the data store, its
// storage into the saved entry. Main thread only; every completion is called exactly once.
class SessionImportProtocol {
public:
    using CountCompletion = std::function<void(int)>;
    using EncryptedImportCompletion = std::function<void(Result<int>)>;

    virtual ~SessionImportProtocol() = default;

    // Completion with the number of cookies set, 0 on every failure.
    virtual void importCookies(const ProfileId& profileId, std::string data,
                               const std::shared_ptr<engine::DataStore>& dataStore,
                               CountCompletion completion) = 0;
    // Opens an envelope and imports what it holds. A failure carries the envelope's error
    // (domain kCookieEncryptionErrorDomain, its Russian text as message); success the count.
    virtual void importCookiesEncrypted(const ProfileId& profileId, std::string data,
                                        const std::string& password,
                                        const std::shared_ptr<engine::DataStore>& dataStore,
                                        EncryptedImportCompletion completion) = 0;
};

inline constexpr const char* kCookieEncryptionErrorDomain = "OrviWrapper.CookieEncryptionError";

} // namespace orvi
