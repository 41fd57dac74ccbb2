#pragma once

#include "core/base/Scheduler.h"
#include "engine/WebView.h"
#include "engine/webkit/GObjectPtr.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>
#include <webkit/webkit.h>

namespace orvi::engine::webkit {

class WebKitDataStore;

// One engine::WebView over a WebKitWebView with its own settings and user content manager,
// in the network session of its data store and the default web context shared by all.
//
// WebKit calls back into this object only through signal handlers that the destructor
// disconnects; everything that may answer later (scripts, decisions, dialogs, downloads)
// holds what it needs itself, never this object, so a late answer after the adapter is
// gone is harmless and still completes exactly once.
class WebKitWebViewAdapter final : public WebView {
public:
    WebKitWebViewAdapter(const WebViewConfiguration& configuration,
                         std::shared_ptr<WebKitDataStore> dataStore);
    ~WebKitWebViewAdapter() override;
    WebKitWebViewAdapter(const WebKitWebViewAdapter&) = delete;
    WebKitWebViewAdapter& operator=(const WebKitWebViewAdapter&) = delete;

    DataStore& dataStore() override;
    std::shared_ptr<DataStore> sharedDataStore() override;

    void addUserScript(const UserScript& script) override;
    void removeAllUserScripts() override;
    void removeUserScript(const UserScript& script) override;
    void addScriptMessageHandler(const std::string& name, World world,
                                 std::function<void(const Json& body)> handler) override;
    void removeScriptMessageHandler(const std::string& name) override;

    void evaluateJavaScript(const std::string& script, World world,
                            std::function<void(ScriptResult)> completion) override;
    void callAsyncJavaScript(const std::string& functionBody, const Json& arguments, World world,
                             std::function<void(ScriptResult)> completion) override;
    void prewarm() override;

    void load(const Request& request) override;
    void loadHTMLString(const std::string& html, const std::string& baseURL) override;
    void reload() override;
    void stopLoading() override;
    std::string url() const override;
    std::string title() const override;
    bool isLoading() const override;

    bool isInViewHierarchy() const override { return gtk_widget_get_parent(widget()) != nullptr; }
    void removeFromViewHierarchy() override;

    void setCustomUserAgent(const std::string& userAgent) override;
    std::string customUserAgent() const override { return m_customUserAgent; }

    void setNavigationDelegate(NavigationDelegate* delegate) override { m_navigationDelegate = delegate; }
    void setUIDelegate(UIDelegate* delegate) override { m_uiDelegate = delegate; }

    void startDownload(const Request& request) override;

    // The GTK widget the UI puts on screen.
    GtkWidget* widget() const { return GTK_WIDGET(m_view.get()); }
    WebKitWebView* webKitView() const { return m_view.get(); }
    // Kills the web content process, as a crash would (for tests and diagnostics).
    void terminateWebProcess();
    // How long an evaluation may take before it fails with kJavaScriptTimedOutCode.
    void setScriptTimeout(Duration timeout) { m_scriptTimeout = timeout; }
    // The longest a request may wait for its page, whatever time-out it asks for; zero
    // means no limit beyond the request's own.
    void setRequestTimeoutLimit(double seconds) { m_requestTimeoutLimit = seconds; }

    // Hands a download the network session started to the adapter of its web view, or
    // cancels it when there is none.
    static void routeDownload(WebKitDownload* download);

    struct PendingScript;

private:
    struct MessageHandler;

    void connectSignals();
    void runScript(const std::string& script, World world, GVariant* arguments, bool async,
                   std::function<void(ScriptResult)> completion);
    void startRequestTimer(double seconds);
    void stopRequestTimer();
    void cancelRequestTimeout();
    void adoptDownload(WebKitDownload* download);

    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType, gpointer);
    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer);
    static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer);
    static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer);
    static gboolean onPermissionRequest(WebKitWebView*, WebKitPermissionRequest*, gpointer);

    std::shared_ptr<WebKitDataStore> m_dataStore;
    GObjectPtr<WebKitSettings> m_settings;
    GObjectPtr<WebKitUserContentManager> m_content;
    // Each script added, with WebKit's handle (one reference held), so one can be taken back.
    std::vector<std::pair<UserScript, WebKitUserScript*>> m_userScripts;
    GObjectPtr<WebKitWebView> m_view;

    NavigationDelegate* m_navigationDelegate = nullptr;
    UIDelegate* m_uiDelegate = nullptr;
    std::string m_customUserAgent;

    std::map<std::string, std::unique_ptr<MessageHandler>> m_messageHandlers;
    std::vector<std::weak_ptr<PendingScript>> m_pendingScripts;
    Duration m_scriptTimeout = std::chrono::seconds(30);

    // The state of the current main-frame load, to tell a provisional failure from a later
    // one and to keep WebKit's "finished" after a failure from reading as success.
    // While the blank page that starts the web process is on its way, its events reach no
    // delegate and the page's own loads wait for it: asked for before the process is up,
    // WebKit may drop the second load.
    bool m_prewarming = false;
    // Nothing but the prewarm's blank page was asked for.
    bool m_blankOnly = false;
    std::function<void()> m_afterPrewarm;
    void runOrDefer(std::function<void()> step);
    void endPrewarm();
    bool m_committed = false;
    bool m_failed = false;
    bool m_timedOut = false;
    bool m_loadStarted = true;
    // The last new-window action the delegate was asked about, so that WebKit's "create"
    // that follows an allowed one does not ask again.
    std::string m_decidedNewWindowURL;
    guint m_requestTimer = 0;
    double m_requestTimeoutLimit = 0;
};

} // namespace orvi::engine::webkit
