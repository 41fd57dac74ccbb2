#include "core/page/WebViewFactory.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/web/scripts/OrviUserScripts.h"

#include <algorithm>

namespace orvi {

namespace {

// All web views share the engine's one default web context (one network process for all
// profiles); this is what the configuration line names.
constexpr const char* kSharedProcessPoolDescription = "default web context (shared by every profile)";

std::string profileLabel(const Profile& profile) {
    return profile.name + " (ID: " + profile.id.text() + ")";
}

} // namespace

WebViewFactory::WebViewFactory(engine::Engine& engine, PreferencesStore& preferences, Scheduler& scheduler,
                               OrviDomains domains)
    : m_engine(engine), m_preferences(preferences), m_scheduler(scheduler), m_domains(std::move(domains)) {}

std::shared_ptr<engine::WebView>
WebViewFactory::makeWebView(const Profile& profile, const std::optional<LocationSettings>& locationSettings) {
    if (const auto cached = m_webViewCache.find(profile.id); cached != m_webViewCache.end()) {
        // The web view keeps the scripts it was built with; a new location takes effect only
        // when the profile's web view is removed and built again.
        const auto& webView = cached->second;
        if (webView->isInViewHierarchy()) {
            logLine("♻️ Reusing cached WebView (removing from old hierarchy) for profile: " +
                    profileLabel(profile));
            webView->removeFromViewHierarchy();
        } else {
            logLine("♻️ Reusing cached WebView for profile: " + profileLabel(profile));
        }
        return webView;
    }

    logLine("🆕 Creating new WebView for profile: " + profileLabel(profile));
    std::optional<engine::UserScript> storageRestore;
    auto webView =
        buildWebView(profile, locationSettings.value_or(LocationSettings::defaultLocation()), storageRestore);

    m_webViewCache[profile.id] = webView;
    std::erase_if(m_owners, [](const Ownership& owner) { return owner.webView.expired(); });
    m_owners.push_back(Ownership{webView, profile.id, std::move(storageRestore)});
    logLine("💾 Cached WebView for profile: " + profileLabel(profile) +
            ", total cached: " + std::to_string(m_webViewCache.size()));
    return webView;
}

std::shared_ptr<engine::WebView>
WebViewFactory::buildWebView(const Profile& profile, const LocationSettings& location,
                             std::optional<engine::UserScript>& storageRestore) {
    std::vector<engine::UserScript> scripts;
    scripts.push_back(engine::UserScript{OrviUserScripts::imageBitmapFallbackScript(),
                                         engine::InjectionTime::documentStart, engine::FrameScope::allFrames,
                                         engine::World::page});

    engine::WebViewConfiguration configuration;
    logLine(std::string("🔧 Using shared processPool: ") + kSharedProcessPoolDescription);

    // Every profile gets a persistent store of its own, whatever its storage type: the
    // engine here keeps profiles apart by store, so no profile ever shares another's data.
    configuration.dataStore = m_engine.dataStore(profile.id.text());
    logLine("🔧 Using per-profile PERSISTENT dataStore for profile: " + profileLabel(profile));

    storageRestore = storageRestoreUserScript(profile.id);
    if (storageRestore)
        scripts.push_back(*storageRestore);

    configuration.javaScriptEnabled = true;
    configuration.javaScriptCanOpenWindowsAutomatically = false;
    configuration.mediaPlaybackRequiresUserAction = true;
    logLine("🔧 Media playback requires user action (GPU crash prevention)");
    if (profile.desktopMode) {
        configuration.elementFullscreenEnabled = true;
        logLine("🔧 Fullscreen mode enabled for desktop mode");
    }
    logLine("🔧 WebView configuration: JavaScript enabled, media requires user action, AirPlay disabled");

    if (m_preferences.boolean(keys::kEnableMaskingScript)) {
        scripts.push_back(engine::UserScript{
            OrviUserScripts::webViewMaskingScript(profile.id.text(), location),
            engine::InjectionTime::documentStart, engine::FrameScope::allFrames, engine::World::page});
        logLine("🔧 Masking script enabled");
    } else {
        logLine("⚠️ Masking script DISABLED (for debugging)");
    }

    auto webView = m_engine.makeWebView(configuration);
    // Document-start scripts run in the order they were added.
    for (const auto& script : scripts)
        webView->addUserScript(script);
    webView->setCustomUserAgent(yandexBrowserUserAgent());
    return webView;
}

std::optional<engine::UserScript> WebViewFactory::storageRestoreUserScript(const ProfileId& profileId) const {
    const auto bytes = m_preferences.data(keys::storage(profileId));
    if (!bytes)
        return std::nullopt;
    const auto snapshot = parseJson(*bytes);
    if (!snapshot || !snapshot->is_object()) {
        // The host view restores storage again before the first request; this only loses
        // the head start, so it is noted and the build goes on.
        logLine("⚠️ Stored web storage for profile " + profileId.text() +
                " is not a JSON object; no restore script added");
        return std::nullopt;
    }
    return engine::UserScript{OrviUserScripts::storageRestoreScript(*snapshot, m_domains),
                              engine::InjectionTime::documentStart, engine::FrameScope::mainFrameOnly,
                              engine::World::page};
}

void WebViewFactory::renewStorageRestoreScript(engine::WebView& webView) {
    auto owner = std::find_if(m_owners.begin(), m_owners.end(),
                              [&](const Ownership& o) { return o.webView.lock().get() == &webView; });
    if (owner == m_owners.end())
        return;
    if (owner->storageRestore)
        webView.removeUserScript(*owner->storageRestore);
    owner->storageRestore = storageRestoreUserScript(owner->profileId);
    if (owner->storageRestore)
        webView.addUserScript(*owner->storageRestore);
}

void WebViewFactory::removeWebView(const ProfileId& id) {
    const auto cached = m_webViewCache.find(id);
    if (cached == m_webViewCache.end())
        return;
    auto webView = std::move(cached->second);
    m_webViewCache.erase(cached);
    logLine("🗑️ Removed WebView from cache for profile ID: " + id.text());
    blank(webView);
    webViewRemoved.emit(id);
}

void WebViewFactory::clearCache() {
    auto cache = std::move(m_webViewCache);
    m_webViewCache.clear();
    logLine("🗑️ Cleared all WebView cache (" + std::to_string(cache.size()) + " items)");
    for (const auto& [id, webView] : cache) {
        blank(webView);
        webViewRemoved.emit(id);
    }
}

void WebViewFactory::blank(const std::shared_ptr<engine::WebView>& webView) {
    // Blanking runs later on the main queue, so that a caller still handling an event of
    // this web view does not see its page vanish under it. A web view nobody holds by then
    // is gone already and needs no blanking.
    m_scheduler.post([weakWebView = std::weak_ptr<engine::WebView>(webView)] {
        if (auto webView = weakWebView.lock()) {
            webView->stopLoading();
            webView->loadHTMLString("", "");
        }
    });
}

std::string WebViewFactory::yandexBrowserUserAgent() {
    return std::string("Mozilla/5.0 (") + kUserAgentPlatformToken +
           ") AppleWebKit/537.36 (KHTML, like Gecko) Chrome/" + kUserAgentEngineVersion + " YaBrowser/" +
           kUserAgentBrowserVersion + " Safari/537.36";
}

} // namespace orvi
