#pragma once

#include "core/base/ProfileId.h"
#include "core/base/Scheduler.h"
#include "core/base/Signal.h"
#include "core/prefs/PreferencesStore.h"
#include "core/profiles/Profile.h"
#include "core/web/policy/OrviDomains.h"
#include "engine/WebView.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvi {

class WebViewFactoryProtocol {
public:
    virtual ~WebViewFactoryProtocol() = default;

    // The profile's web view, cached or new. The location is used only when the web view is
    // built; absent means the default location.
    virtual std::shared_ptr<engine::WebView>
    makeWebView(const Profile& profile, const std::optional<LocationSettings>& locationSettings) = 0;
    // Drops the profile's web view from the cache and blanks it.
    virtual void removeWebView(const ProfileId& id) = 0;
    // Drops and blanks every cached web view.
    virtual void clearCache() = 0;
};

// Builds one configured web view per profile and keeps it, so that switching back to a
// profile finds its page as it was left. Every member is called on the main thread, and the
// cache is touched only there: that is what keeps it consistent without a lock, and what
// makes a second request right after the first find the cached web view.
class WebViewFactory final : public WebViewFactoryProtocol {
public:
    WebViewFactory(engine::Engine& engine, PreferencesStore& preferences, Scheduler& scheduler,
                   OrviDomains domains);

    std::shared_ptr<engine::WebView>
    makeWebView(const Profile& profile, const std::optional<LocationSettings>& locationSettings) override;
    void removeWebView(const ProfileId& id) override;
    void clearCache() override;

    std::size_t cachedCount() const { return m_webViewCache.size(); }

    // A profile's web view left the cache: whoever shows it lets it go too, so that the
    // engine can free it once the blanking is done.
    Signal<ProfileId> webViewRemoved;

    // After the user replaced the profile's saved storage, the web view's document-start
    // fill must carry the new snapshot: the old one would bring back keys the replaced
    // session had and the new one lacks.
    void renewStorageRestoreScript(engine::WebView& webView);

    // The user agent every web view presents, with the Linux platform token.
    static std::string yandexBrowserUserAgent();

private:
    std::shared_ptr<engine::WebView> buildWebView(const Profile& profile, const LocationSettings& location,
                                                  std::optional<engine::UserScript>& storageRestore);
    std::optional<engine::UserScript> storageRestoreUserScript(const ProfileId& profileId) const;
    void blank(const std::shared_ptr<engine::WebView>& webView);

    struct Ownership {
        std::weak_ptr<engine::WebView> webView;
        ProfileId profileId;
        std::optional<engine::UserScript> storageRestore;
    };

    engine::Engine& m_engine;
    PreferencesStore& m_preferences;
    Scheduler& m_scheduler;
    OrviDomains m_domains;
    std::map<ProfileId, std::shared_ptr<engine::WebView>> m_webViewCache;
    // The document-start storage fill each live web view was given, so that an explicit
    // import can replace it.
    std::vector<Ownership> m_owners;
};

inline constexpr const char* kUserAgentBrowserVersion = "26.3.0.2179";
inline constexpr const char* kUserAgentEngineVersion = "144.0.7559.220";
inline constexpr const char* kUserAgentPlatformToken = "X11; Linux x86_64";

} // namespace orvi
