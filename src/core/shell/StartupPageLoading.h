#pragma once

#include "core/base/Scheduler.h"
#include "core/base/Signal.h"
#include "core/page/PageHost.h"
#include "core/profiles/ProfileStoreProtocol.h"

#include <deque>
#include <memory>
#include <optional>

namespace orvi {

class MainWebViewModel;

// Loads every other profile's page off screen once the page on screen has finished (or
// failed) its first load, one page at a time, so that every account counts and notifies
// without being visited. Each page gets its saved session before its first request and a
// background supervisor; it reaches the window only when the user selects its profile.
// Main thread only.
class StartupPageLoading final : public std::enable_shared_from_this<StartupPageLoading> {
public:
    // A page that neither finishes nor fails (held at the VPN gate, say) does not hold up
    // the others for longer than this.
    static constexpr Duration kPageBound = std::chrono::seconds(90);

    struct Context {
        PageHost::Context host;
        // Where the pages will be shown once selected: the main window.
        std::shared_ptr<const WebViewPlacement> placement;
        std::function<PageLoader::Options()> options;
    };

    static std::shared_ptr<StartupPageLoading> create(std::shared_ptr<MainWebViewModel> model,
                                                      ProfileStoreProtocol& profileStore, Context context);

    // Does nothing when the user switched start-up loading off.
    void start();

private:
    StartupPageLoading(std::shared_ptr<MainWebViewModel> model, ProfileStoreProtocol& profileStore,
                       Context context);

    void activePageLoadingChanged(bool loading);
    void activeProfileChanged(const ProfileId& profileId);
    void loadNext();
    bool load(const Profile& profile);
    void pageSettled(const ProfileId& profileId);

    std::shared_ptr<MainWebViewModel> m_model;
    ProfileStoreProtocol& m_profileStore;
    Context m_context;
    std::deque<ProfileId> m_queue;
    std::optional<ProfileId> m_current;
    std::shared_ptr<PageLoader> m_loader;
    TimerHandle m_bound;
    bool m_activePageStarted = false;
    bool m_begun = false;
    Connection m_loadingObserver;
    Connection m_activeObserver;
};

} // namespace orvi
