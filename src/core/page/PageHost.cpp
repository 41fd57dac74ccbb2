#include "core/page/PageHost.h"

#include "core/base/Log.h"
#include "core/page/WebViewSessions.h"
#include "core/shell/MainWebViewModel.h"

namespace orvi {

std::shared_ptr<PageHost> PageHost::create(std::shared_ptr<MainWebViewModel> model, Context context,
                                           std::shared_ptr<const WebViewPlacement> placement,
                                           std::optional<LocationSettings> locationSettings,
                                           PageLoader::Options options) {
    return std::shared_ptr<PageHost>(new PageHost(std::move(model), std::move(context), std::move(placement),
                                                  std::move(locationSettings), std::move(options)));
}

PageHost::PageHost(std::shared_ptr<MainWebViewModel> model, Context context,
                   std::shared_ptr<const WebViewPlacement> placement,
                   std::optional<LocationSettings> locationSettings, PageLoader::Options options)
    : m_model(std::move(model)), m_context(std::move(context)), m_placement(std::move(placement)),
      m_locationSettings(std::move(locationSettings)), m_options(std::move(options)) {}

LocationSettings PageHost::effectiveLocation(const Profile& profile) const {
    return m_locationSettings.value_or(profile.locationSettings);
}

void PageHost::attachCoordinator(const std::shared_ptr<OrviWebCoordinator>& coordinator) {
    coordinator->attach(m_webView, m_placement);
    m_webView->setNavigationDelegate(coordinator.get());
    m_attachedCoordinator = coordinator;
}

std::shared_ptr<engine::WebView> PageHost::webViewFor(const Profile& profile) {
    auto webView = m_context.makeWebView(profile, effectiveLocation(profile));
    m_context.load.sessions.recordOwner(webView, profile.id);
    m_owner = profile.id;
    return webView;
}

Profile PageHost::profileToShow(const MainWebViewModel& model) {
    // The coordinator's profile, not the store's active one: while a switch waits for its
    // guard the two differ for up to 0.3 s, and page and coordinator must agree. The
    // coordinator keeps the profile as it was made, though: an edit of that same profile
    // since (a new location) is only in the model's active profile.
    Profile profile = model.coordinator()->profile();
    if (model.activeProfile().id == profile.id)
        profile = model.activeProfile();
    return profile;
}

void PageHost::prewarm(const MainWebViewModel& model, const Context& context) {
    const Profile profile = profileToShow(model);
    // The location makeView() asks for when its host has none of its own (the window's has
    // none); the factory keeps the view with the scripts it was built with.
    auto webView = context.makeWebView(profile, profile.locationSettings);
    if (webView->url().empty())
        webView->prewarm();
}

std::shared_ptr<engine::WebView> PageHost::makeView() {
    const auto coordinator = m_model->coordinator();
    const Profile profile = profileToShow(*m_model);
    const auto location = effectiveLocation(profile);
    logLine("🔧 Creating WKWebView in makeNSView");
    logLine("   📋 Profile: " + profile.name + " (ID: " + profile.id.text() + ")");
    logLine("   📋 Storage type: " + std::string(rawValue(profile.storageType)));
    logLine(std::string("   📋 Desktop mode: ") + (profile.desktopMode ? "true" : "false"));
    logLine("   📋 Location: " + location.cityName + ", " + location.timezone);

    m_webView = webViewFor(profile);
    logLine("   ✅ WebView ready");
    logLine(std::string("   📊 DataStore: ") +
            (m_webView->dataStore().isPersistent() ? "persistent" : "nonPersistent"));

    attachCoordinator(coordinator);
    logLine("   ✅ Coordinator attached and navigation delegate set");
    // The web process starts while the window is still being shown and the session restored.
    if (m_webView->url().empty())
        m_webView->prewarm();
    logLine("   📥 Preparing to load profile: " + profile.id.text());
    logLine("   ⏳ Waiting for window to be ready...");

    m_loader = PageLoader::create(m_webView, profile.id, location, m_model->sessionSync(), m_placement,
                                  m_context.load, m_options);
    m_loader->start();
    return m_webView;
}

std::shared_ptr<engine::WebView> PageHost::update() {
    if (!m_webView)
        return makeView();
    const auto coordinator = m_model->coordinator();
    const Profile& profile = coordinator->profile();
    if (m_owner == profile.id) {
        if (m_attachedCoordinator.lock() != coordinator)
            attachCoordinator(coordinator);
        return m_webView;
    }

    const auto oldOwner = *m_owner;
    logLine("🔄 Profile changed in updateNSView: " + oldOwner.text() + " -> " + profile.id.text());
    auto sessionSync = m_model->sessionSync();
    if (sessionSync && m_context.load.sessions.isSessionLive(*m_webView)) {
        sessionSync.cookieJar->saveCookies(oldOwner, m_webView->sharedDataStore());
        sessionSync.storage->saveStorage(oldOwner, m_webView,
                                         [] { logLine("   ✅ Saved data for old profile in updateNSView"); });
    }
    // The old web view keeps the old profile's data store; the new profile's session goes
    // into the new profile's own web view.
    m_webView->stopLoading();
    m_webView = webViewFor(profile);
    attachCoordinator(coordinator);
    m_loader = PageLoader::create(m_webView, profile.id, effectiveLocation(profile), sessionSync, m_placement,
                                  m_context.load, m_options);
    m_loader->restoreAndLoad();
    return m_webView;
}

void PageHost::retryLoadGate(bool ignoreVPNWarning, bool warnAgain) {
    m_options.ignoreVPNWarning = ignoreVPNWarning;
    if (m_loader)
        m_loader->retryGate(ignoreVPNWarning, warnAgain);
}

void PageHost::saveSession(std::function<void()> done) {
    const auto sessionSync = m_model->sessionSync();
    if (!m_webView || !m_owner || !sessionSync || !m_context.load.sessions.isSessionLive(*m_webView)) {
        done();
        return;
    }
    sessionSync.cookieJar->saveCookies(*m_owner, m_webView->sharedDataStore());
    sessionSync.storage->saveStorage(*m_owner, m_webView, std::move(done));
}

void PageHost::dismantle() {
    m_loader.reset();
    if (m_webView)
        m_webView->stopLoading();
}

} // namespace orvi
