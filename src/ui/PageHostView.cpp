#include "ui/PageHostView.h"

#include "core/shell/MainWebViewModel.h"
#include "ui/AdwWidgets.h"

namespace orvi::ui {

namespace {

// Answers from the web view's own widget: its root is the window it sits in.
class WidgetPlacement final : public WebViewPlacement {
public:
    explicit WidgetPlacement(const Gtk::Widget& host) : m_host(const_cast<Gtk::Widget&>(host).gobj()) {
        g_object_add_weak_pointer(G_OBJECT(m_host), reinterpret_cast<gpointer*>(&m_host));
    }
    ~WidgetPlacement() override {
        if (m_host)
            g_object_remove_weak_pointer(G_OBJECT(m_host), reinterpret_cast<gpointer*>(&m_host));
    }

    bool hasWindow() const override { return root() != nullptr; }
    bool isWindowVisible() const override {
        auto* window = root();
        return window && gtk_widget_get_visible(window) && gtk_widget_get_mapped(window);
    }
    // The host maps only once its window has mapped, so its own "map" is the moment the
    // window is ready to show the page.
    Connection whenWindowMapped(std::function<void()> callback) const override {
        if (!m_host)
            return {};
        using Callback = std::function<void()>;
        const gulong id = g_signal_connect_data(
            m_host, "map", G_CALLBACK(+[](GtkWidget*, gpointer data) { (*static_cast<Callback*>(data))(); }),
            new Callback(std::move(callback)),
            +[](gpointer data, GClosure*) { delete static_cast<Callback*>(data); }, GConnectFlags{});
        auto host = std::shared_ptr<GWeakRef>(new GWeakRef, [](GWeakRef* ref) {
            g_weak_ref_clear(ref);
            delete ref;
        });
        g_weak_ref_init(host.get(), m_host);
        return Connection([host, id] {
            if (auto* widget = g_weak_ref_get(host.get())) {
                g_signal_handler_disconnect(widget, id);
                g_object_unref(widget);
            }
        });
    }

private:
    GtkWidget* root() const {
        if (!m_host)
            return nullptr;
        auto* root = gtk_widget_get_root(m_host);
        return root && GTK_IS_WINDOW(root) ? GTK_WIDGET(root) : nullptr;
    }
    GtkWidget* m_host;
};

} // namespace

PageHostView::PageHostView(std::shared_ptr<MainWebViewModel> model, PageHost::Context context,
                           OptionsSource options, WidgetOf widgetOf)
    : m_model(std::move(model)), m_context(std::move(context)), m_options(std::move(options)),
      m_widgetOf(std::move(widgetOf)) {
    set_hexpand(true);
    set_vexpand(true);
    m_placeholder.set_hexpand(true);
    m_placeholder.set_vexpand(true);
    m_pages.add(m_placeholder);
    set_child(m_pages);
    m_spinner.set_halign(Gtk::Align::CENTER);
    m_spinner.set_valign(Gtk::Align::CENTER);
    m_spinner.set_size_request(32, 32);
    m_spinner.set_visible(false);
    add_overlay(m_spinner);

    m_troublePage = adw_status_page_new();
    // Opaque, so that no half-drawn or stale page shows through.
    gtk_widget_add_css_class(m_troublePage, "background");
    m_troubleButton = gtk_button_new();
    gtk_widget_set_halign(m_troubleButton, GTK_ALIGN_CENTER);
    gtk_widget_add_css_class(m_troubleButton, "pill");
    gtk_widget_add_css_class(m_troubleButton, "suggested-action");
    adw::connect<>(m_troubleButton, "clicked", std::function<void()>([this] { m_model->retryPage(); }));
    adw_status_page_set_child(ADW_STATUS_PAGE(m_troublePage), m_troubleButton);
    gtk_overlay_add_overlay(gobj(), m_troublePage);
    showTrouble(m_model->pageTrouble());
    m_troubleChanged = m_model->pageTrouble.subscribe(
        [this](const std::optional<PageTroubleState>& state) { showTrouble(state); });

    m_loadingChanged = m_model->isLoading.subscribe([this](bool loading) {
        m_spinner.set_visible(loading);
        m_spinner.set_spinning(loading);
    });
    m_coordinatorChanged = m_model->subscribeToCoordinator([this](const auto&) { showHost(); });
    m_activeProfileChanged = m_model->activeProfile.subscribe([this](const Profile&) {
        if (m_host)
            show(m_host->update());
    });
    showHost();
}

PageHostView::~PageHostView() {
    if (m_host)
        m_host->dismantle();
    // The factory may keep the web views for a later window.
    for (const auto& [profileId, page] : m_pageOf)
        gtk_stack_remove(m_pages.gobj(), page.widget);
}

void PageHostView::retryLoadGate(bool ignoreVPNWarning, bool warnAgain) {
    if (m_host)
        m_host->retryLoadGate(ignoreVPNWarning, warnAgain);
}

void PageHostView::rebuildAfterDrop(const ProfileId& profileId) {
    if (!m_host || m_model->coordinator()->profile().id != profileId)
        return;
    m_host->saveSession([this, alive = std::weak_ptr<char>(m_lifetime)] {
        if (!alive.expired())
            showHost();
    });
}

std::shared_ptr<const WebViewPlacement> PageHostView::windowPlacement() const {
    return std::make_shared<WidgetPlacement>(*this);
}

void PageHostView::showHost() {
    if (m_host)
        m_host->dismantle();
    m_host = PageHost::create(m_model, m_context, std::make_shared<WidgetPlacement>(*this), std::nullopt,
                              m_options());
    show(m_host->makeView());
}

void PageHostView::showTrouble(const std::optional<PageTroubleState>& state) {
    gtk_widget_set_visible(m_troublePage, state.has_value());
    if (!state)
        return;
    auto* page = ADW_STATUS_PAGE(m_troublePage);
    adw_status_page_set_icon_name(page, state->retriesOnItsOwn() ? "network-error-symbolic"
                                                                 : "computer-fail-symbolic");
    adw_status_page_set_title(page, state->title().c_str());
    // The description is markup; the reason is plain text.
    char* reason = g_markup_escape_text(state->reason().c_str(), -1);
    adw_status_page_set_description(page, reason);
    g_free(reason);
    gtk_button_set_label(GTK_BUTTON(m_troubleButton), state->actionLabel().c_str());
}

void PageHostView::show(const std::shared_ptr<engine::WebView>& webView) {
    if (webView == m_shown)
        return;
    GtkWidget* widget = webView ? m_widgetOf(*webView) : nullptr;
    m_shown = webView;
    if (!widget || !m_host->owner()) {
        m_pages.set_visible_child(m_placeholder);
        removeHiddenDroppedPages();
        return;
    }
    Page& page = m_pageOf[*m_host->owner()];
    GtkWidget* replaced = page.widget != widget ? page.widget : nullptr;
    if (replaced || !page.widget) {
        // Only a web view never shown here can have another parent.
        if (webView->isInViewHierarchy())
            webView->removeFromViewHierarchy();
        gtk_widget_set_hexpand(widget, TRUE);
        gtk_widget_set_vexpand(widget, TRUE);
        gtk_stack_add_child(m_pages.gobj(), widget);
        page = Page{widget, false};
    }
    // The stack hands the keyboard on only from a page's descendants, and a web view takes
    // the focus itself: without this, typing after a switch would go nowhere.
    GtkWidget* previous = gtk_stack_get_visible_child(m_pages.gobj());
    auto* root = gtk_widget_get_root(GTK_WIDGET(m_pages.gobj()));
    GtkWidget* focus = root ? gtk_root_get_focus(root) : nullptr;
    const bool pageHadFocus =
        focus && previous && (focus == previous || gtk_widget_is_ancestor(focus, previous));
    gtk_stack_set_visible_child(m_pages.gobj(), widget);
    if (pageHadFocus)
        gtk_widget_grab_focus(widget);
    if (replaced)
        gtk_stack_remove(m_pages.gobj(), replaced);
    removeHiddenDroppedPages();
}

void PageHostView::dropPage(const ProfileId& profileId) {
    const auto page = m_pageOf.find(profileId);
    if (page == m_pageOf.end())
        return;
    page->second.dropped = true;
    removeHiddenDroppedPages();
}

void PageHostView::removeHiddenDroppedPages() {
    GtkWidget* visible = gtk_stack_get_visible_child(m_pages.gobj());
    std::erase_if(m_pageOf, [&](const auto& entry) {
        const Page& page = entry.second;
        if (!page.dropped || page.widget == visible)
            return false;
        gtk_stack_remove(m_pages.gobj(), page.widget);
        return true;
    });
}

} // namespace orvi::ui
