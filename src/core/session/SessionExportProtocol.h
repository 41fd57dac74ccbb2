#pragma once

#include "core/base/ProfileId.h"
#include "engine/WebView.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvi {

// Writes a profile's session into export files, plain or in a password envelope. Main
// thread only; every completion is called exactly once, with no value on every failure.
class SessionExportProtocol {
public:
    using BytesCompletion = std::function<void(std::optional<std::string>)>;
    using FileCompletion = std::function<void(std::optional<std::filesystem::path>)>;

    virtual ~SessionExportProtocol() = default;

    // Versioned document from the saved entries, or the bare saved cookie entry, or none.
    virtual void exportCookies(const ProfileId& profileId, BytesCompletion completion) = 0;
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
};

} // namespace orvi
