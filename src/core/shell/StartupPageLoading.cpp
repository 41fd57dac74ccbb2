#include "core/shell/StartupPageLoading.h"

#include "core/base/Log.h"
#include "core/page/WebViewSessions.h"
#include "core/shell/MainWebViewModel.h"
#include "core/shell/SettingsViewModel.h"

namespace orvi {

std::shared_ptr<StartupPageLoading> StartupPageLoading::create(std::shared_ptr<MainWebViewModel> model,
                                                               ProfileStoreProtocol& profileStore,
                                                               Context context) {
    return std::shared_ptr<StartupPageLoading>(
        new StartupPageLoading(std::move(model), profileStore, std::move(context)));
}

StartupPageLoading::StartupPageLoading(std::shared_ptr<MainWebViewModel> model,
                                       ProfileStoreProtocol& profileStore, Context context)
    : m_model(std::move(model)), m_profileStore(profileStore), m_context(std::move(context)) {}

void StartupPageLoading::start() {
    if (!SettingsViewModel::loadsAllProfilesAtStartup(m_context.host.load.preferences))
        return;
    std::weak_ptr<StartupPageLoading> weakSelf = weak_from_this();
    m_loadingObserver = m_model->isLoading.subscribe([weakSelf](bool loading) {
        if (auto self = weakSelf.lock())
            self->activePageLoadingChanged(loading);
    });
    m_activeObserver = m_model->activeProfile.subscribe([weakSelf](const Profile& profile) {
        if (auto self = weakSelf.lock())
            self->activeProfileChanged(profile.id);
    });
}

void StartupPageLoading::activePageLoadingChanged(bool loading) {
    if (loading) {
        m_activePageStarted = true;
        return;
    }
    // The others wait for the page the user looks at: it gets the network to itself first.
    if (!m_activePageStarted || std::exchange(m_begun, true))
        return;
    m_loadingObserver.disconnect();
    for (const auto& profile : m_profileStore.profiles())
        m_queue.push_back(profile.id);
    logLine("🌐 Loading the other profiles' pages in the background");
    loadNext();
}

void StartupPageLoading::activeProfileChanged(const ProfileId& profileId) {
    // The user chose the profile being loaded: its page is on screen now, and the host takes
    // the load over (a request already sent is not repeated).
    if (m_current == profileId)
        loadNext();
}

void StartupPageLoading::loadNext() {
    m_loader.reset();
    m_bound.cancel();
    m_current.reset();
    while (!m_queue.empty()) {
        const auto profileId = m_queue.front();
        m_queue.pop_front();
        const auto& profiles = m_profileStore.profiles();
        const auto profile = std::find_if(profiles.begin(), profiles.end(), [&](const Profile& candidate) {
            return candidate.id == profileId;
        });
        // Gone since, on screen, or already live because the user visited it.
        if (profile == profiles.end() || profileId == m_model->activeProfile().id ||
            profileId == m_model->coordinator()->profile().id || m_model->backgroundSupervisor(profileId) ||
            m_model->hibernatedProfiles().count(profileId))
            continue;
        if (load(*profile))
            return;
    }
    m_activeObserver.disconnect();
    logLine("   ✅ Every profile's page is live");
}

bool StartupPageLoading::load(const Profile& profile) {
    auto webView = m_context.host.makeWebView(profile, profile.locationSettings);
    if (!webView)
        return false;
    m_context.host.load.sessions.recordOwner(webView, profile.id);
    auto supervisor = m_model->superviseInBackground(profile, webView);
    if (!supervisor)
        return false;
    logLine("   📥 Loading profile in the background: " + profile.id.text());
    std::weak_ptr<StartupPageLoading> weakSelf = weak_from_this();
    supervisor->onLoadingChanged = [weakSelf, id = profile.id](bool loading) {
        auto self = weakSelf.lock();
        if (self && !loading)
            self->pageSettled(id);
    };
    m_current = profile.id;
    m_bound = m_context.host.load.scheduler.startTimer(kPageBound, [weakSelf, id = profile.id] {
        if (auto self = weakSelf.lock())
            self->pageSettled(id);
    });
    m_loader = PageLoader::create(webView, profile.id, profile.locationSettings, m_model->sessionSync(),
                                  m_context.placement, m_context.host.load,
                                  m_context.options ? m_context.options() : PageLoader::Options{});
    m_loader->start();
    return true;
}

void StartupPageLoading::pageSettled(const ProfileId& profileId) {
    if (m_current != profileId)
        return;
    // Not from inside the engine's callback that told of the finish.
    std::weak_ptr<StartupPageLoading> weakSelf = weak_from_this();
    m_current.reset();
    m_context.host.load.scheduler.post([weakSelf] {
        if (auto self = weakSelf.lock())
            self->loadNext();
    });
}

} // namespace orvi
