#pragma once

#include "core/base/Signal.h"
#include "core/page/PageHost.h"
#include "core/page/PageTrouble.h"

#include <gtkmm.h>
#include <map>
#include <memory>

namespace orvi {
class MainWebViewModel;
}

namespace orvi::ui {

// Shows the page of the model's current coordinator, with a spinner over it while the page
// loads. When the model replaces its coordinator (a profile switch), a new host takes over
// for the new profile, so no state of one profile's page leaks into another's.
//
// Every web view shown once stays in one stack, one page per profile, and a switch only
// changes the visible page: a web view taken out of its parent and put back is unrealized
// and rebuilt by the engine each time, for nothing.
class PageHostView final : public Gtk::Overlay {
public:
    using OptionsSource = std::function<PageLoader::Options()>;
    // The engine's widget for a web view; given by the composition root so that the screens
    // never depend on the engine implementation.
    using WidgetOf = std::function<GtkWidget*(engine::WebView&)>;

    PageHostView(std::shared_ptr<MainWebViewModel> model, PageHost::Context context, OptionsSource options,
                 WidgetOf widgetOf);
    ~PageHostView() override;

    // See PageHost::retryLoadGate.
    void retryLoadGate(bool ignoreVPNWarning, bool warnAgain);
    // The shown profile's cached web view was dropped (its location changed): saves its
    // session and shows a new web view built for the new location.
    void rebuildAfterDrop(const ProfileId& profileId);
    // Where a page loaded off screen will be shown: this host's window.
    std::shared_ptr<const WebViewPlacement> windowPlacement() const;
    // The web view on screen, if any.
    std::shared_ptr<engine::WebView> webView() const { return m_shown; }
    // The profile's web view was dropped: its page leaves the stack so that the engine can
    // free it. The page on screen stays until another replaces it, so the window never
    // shows another profile's page or nothing in between.
    void dropPage(const ProfileId& profileId);

private:
    struct Page {
        GtkWidget* widget = nullptr;
        bool dropped = false;
    };

    void showHost();
    void show(const std::shared_ptr<engine::WebView>& webView);
    void removeHiddenDroppedPages();
    void showTrouble(const std::optional<PageTroubleState>& state);

    std::shared_ptr<MainWebViewModel> m_model;
    PageHost::Context m_context;
    OptionsSource m_options;
    WidgetOf m_widgetOf;
    std::shared_ptr<PageHost> m_host;
    std::shared_ptr<engine::WebView> m_shown;
    Gtk::Stack m_pages;
    std::map<ProfileId, Page> m_pageOf;
    Gtk::Box m_placeholder;
    Gtk::Spinner m_spinner;
    Connection m_coordinatorChanged;
    Connection m_loadingChanged;
    Connection m_activeProfileChanged;
    // Covers a page that failed to load or kept crashing; owned by the overlay.
    GtkWidget* m_troublePage = nullptr;
    GtkWidget* m_troubleButton = nullptr;
    Connection m_troubleChanged;
    std::shared_ptr<char> m_lifetime = std::make_shared<char>();
};

} // namespace orvi::ui
