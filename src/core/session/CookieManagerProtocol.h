#pragma once

#include "core/base/ProfileId.h"

#include <filesystem>
#include <functional>
#include <optional>

namespace orvi {

namespace engine {
class DataStore;
class WebView;
} // namespace engine

// Saves and restores each profile's cookies and web storage in the preferences store.
// Every completion is called exactly once, on the main thread.
class CookieManagerProtocol {
public:
    virtual ~CookieManagerProtocol() = default;

    virtual void saveCookies(const ProfileId& profileId, engine::DataStore& dataStore,
                             std::function<void()> completion) = 0;
    virtual void restoreCookies(const ProfileId& profileId, engine::DataStore& dataStore,
                                std::function<void()> completion) = 0;
    virtual void saveStorage(const ProfileId& profileId, engine::WebView& webView,
                             std::function<void()> completion) = 0;
    virtual void restoreStorage(const ProfileId& profileId, engine::WebView& webView,
                                std::function<void()> completion) = 0;
    virtual void exportToFile(const ProfileId& profileId, engine::DataStore& dataStore, engine::WebView& webView,
                              std::function<void(std::optional<std::filesystem::path>)> completion) = 0;
};

} // namespace orvi
