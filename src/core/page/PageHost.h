#pragma once

#include "core/page/PageLoader.h"
#include "core/profiles/Profile.h"

#include <memory>
#include <optional>

namespace orvi {

class MainWebViewModel;
class OrviWebCoordinator;

// Puts the page of the model's current coordinator on screen: gets that profile's web view
// from the factory, hands it to the coordinator and has it loaded. One host serves one
// coordinator; the screen makes a new host when the model replaces the coordinator.
// Main thread only.
class PageHost final : public std::enable_shared_from_this<PageHost> {
public:
    // The profile's web view, cached or new (the web view factory's makeWebView).
    using WebViewSource = std::function<std::shared_ptr<engine::WebView>(
        const Profile&, const std::optional<LocationSettings>&)>;

    struct Context {
        PageLoadContext load;
        WebViewSource makeWebView;
    };

    static std::shared_ptr<PageHost> create(std::shared_ptr<MainWebViewModel> model, Context context,
                                            std::shared_ptr<const WebViewPlacement> placement,
                                            std::optional<LocationSettings> locationSettings,
                                            PageLoader::Options options);

    // Builds the web view makeView() will show and starts its web process, before any window
    // exists: the process takes longer to start than the window takes to be built.
    static void prewarm(const MainWebViewModel& model, const Context& context);
    // Builds or reuses the web view and starts the load sequence; returns the web view.
    std::shared_ptr<engine::WebView> makeView();
    // Called whenever the model changes. Returns the web view to show: the same one, or the
    // new coordinator's own web view when the coordinator now serves another profile (a web
    // view never changes hands between profiles).
    std::shared_ptr<engine::WebView> update();
    void dismantle();
    // After the VPN warning closed or the window came back to the front: a load held at the
    // VPN gate checks again (see PageLoader::retryGate).
    void retryLoadGate(bool ignoreVPNWarning, bool warnAgain);
    // Saves the shown profile's cookies and storage from its web view while it still holds
    // them, then calls `done` (at once when the web view holds no session yet).
    void saveSession(std::function<void()> done);

    const std::shared_ptr<engine::WebView>& webView() const { return m_webView; }
    // The profile whose web view webView() is.
    const std::optional<ProfileId>& owner() const { return m_owner; }

private:
    PageHost(std::shared_ptr<MainWebViewModel> model, Context context,
             std::shared_ptr<const WebViewPlacement> placement,
             std::optional<LocationSettings> locationSettings, PageLoader::Options options);

    static Profile profileToShow(const MainWebViewModel& model);
    LocationSettings effectiveLocation(const Profile& profile) const;
    void attachCoordinator(const std::shared_ptr<OrviWebCoordinator>& coordinator);
    std::shared_ptr<engine::WebView> webViewFor(const Profile& profile);

    std::shared_ptr<MainWebViewModel> m_model;
    Context m_context;
    std::shared_ptr<const WebViewPlacement> m_placement;
    std::optional<LocationSettings> m_locationSettings;
    PageLoader::Options m_options;

    std::shared_ptr<engine::WebView> m_webView;
    std::optional<ProfileId> m_owner;
    std::weak_ptr<OrviWebCoordinator> m_attachedCoordinator;
    std::shared_ptr<PageLoader> m_loader;
};

} // namespace orvi
