#pragma once

#include "engine/DataStore.h"
#include "engine/EngineTypes.h"

#include <functional>
#include <memory>
#include <string>

namespace orvi::engine {

class WebView;
class Download;

// Every decision handler must be called exactly once; the engine waits for it.
class NavigationDelegate {
public:
    virtual ~NavigationDelegate() = default;

    virtual void decidePolicyForNavigationAction(WebView& webView, const NavigationAction& action,
                                                 std::function<void(PolicyDecision)> decisionHandler) = 0;
    virtual void decidePolicyForNavigationResponse(WebView& webView, const NavigationResponse& response,
                                                   std::function<void(PolicyDecision)> decisionHandler) = 0;
    virtual void didStartProvisionalNavigation(WebView&) {}
    virtual void didCommitNavigation(WebView&) {}
    virtual void didFinishNavigation(WebView&) {}
    virtual void didFailProvisionalNavigation(WebView&, const Error&) {}
    virtual void didFailNavigation(WebView&, const Error&) {}
    virtual void webContentProcessDidTerminate(WebView&, ProcessTerminationReason) {}
    // A navigation answered with PolicyDecision::download, or a download started through
    // WebView::startDownload, has become this download.
    virtual void navigationDidBecomeDownload(WebView&, const std::shared_ptr<Download>&) {}
};

class UIDelegate {
public:
    virtual ~UIDelegate() = default;

    virtual void runJavaScriptAlert(WebView&, const std::string& message,
                                    std::function<void()> completion) = 0;
    virtual void runJavaScriptConfirm(WebView&, const std::string& message,
                                      std::function<void(bool)> completion) = 0;
    virtual void requestMediaCapturePermission(WebView&, const std::string& origin, MediaCaptureType type,
                                               std::function<void(PermissionDecision)> decisionHandler) = 0;
};

class DownloadDelegate {
public:
    virtual ~DownloadDelegate() = default;

    // Answer with an absolute path that does not exist yet, or none to cancel.
    virtual void decideDestination(Download&, const std::string& suggestedFilename,
                                   std::function<void(std::optional<std::string>)> completion) = 0;
    virtual void downloadDidFinish(Download&) = 0;
    virtual void downloadDidFail(Download&, const Error&) = 0;
};

class Download {
public:
    virtual ~Download() = default;

    virtual std::string url() const = 0;
    // The response that started it, once known.
    virtual std::optional<NavigationResponse> response() const = 0;
    virtual void setDelegate(DownloadDelegate* delegate) = 0;
    virtual void cancel() = 0;
};

// How a web view is configured at creation; fixed for its life.
struct WebViewConfiguration {
    std::shared_ptr<DataStore> dataStore;
    bool mediaPlaybackRequiresUserAction = true;
    bool elementFullscreenEnabled = false;
    bool javaScriptEnabled = true;
    bool javaScriptCanOpenWindowsAutomatically = false;
    bool developerExtrasEnabled = false;
    // Fake cameras and microphones instead of real devices, so that tests can ask for media
    // capture on a machine that has none.
    bool mockCaptureDevicesEnabled = false;
};

// One page in the engine. Every call is made on the main thread and every completion is
// called exactly once on the main thread.
class WebView {
public:
    virtual ~WebView() = default;

    virtual DataStore& dataStore() = 0;
    virtual std::shared_ptr<DataStore> sharedDataStore() = 0;

    virtual void addUserScript(const UserScript& script) = 0;
    virtual void removeAllUserScripts() = 0;
    // Takes back a script added earlier that equals this one; nothing when there is none.
    // Pages loaded from then on run without it.
    virtual void removeUserScript(const UserScript& script) = 0;
    // The handler receives what the page posts through
    // window.webkit.messageHandlers.<name>.postMessage, as JSON. A name is registered in
    // one world only.
    virtual void addScriptMessageHandler(const std::string& name, World world,
                                         std::function<void(const Json& body)> handler) = 0;
    virtual void removeScriptMessageHandler(const std::string& name) = 0;

    virtual void evaluateJavaScript(const std::string& script, World world,
                                    std::function<void(ScriptResult)> completion) = 0;
    // Runs the body of an async function with the arguments as its local variables and
    // delivers the value its promise settles with.
    virtual void callAsyncJavaScript(const std::string& functionBody, const Json& arguments, World world,
                                     std::function<void(ScriptResult)> completion) = 0;

    // Starts the web content process ahead of the first load, so that the load does not wait
    // for the process to come up. Nothing reaches the delegates. Engines that cannot do
    // that ignore it.
    virtual void prewarm() {}
    virtual void load(const Request& request) = 0;
    virtual void loadHTMLString(const std::string& html, const std::string& baseURL) = 0;
    virtual void reload() = 0;
    virtual void stopLoading() = 0;
    virtual std::string url() const = 0;
    virtual std::string title() const = 0;
    virtual bool isLoading() const = 0;

    // Whether the web view sits inside a view (a toolkit parent) at the moment. A cached web
    // view handed to a new host must first leave the old one: a widget has one parent. A web
    // view kept in a stack of pages, which shows it by switching pages, stays where it is.
    virtual bool isInViewHierarchy() const = 0;
    virtual void removeFromViewHierarchy() = 0;

    virtual void setCustomUserAgent(const std::string& userAgent) = 0;
    virtual std::string customUserAgent() const = 0;

    // Delegates are held weakly (raw, non-owning): the owner clears them before it goes.
    virtual void setNavigationDelegate(NavigationDelegate* delegate) = 0;
    virtual void setUIDelegate(UIDelegate* delegate) = 0;

    // Downloads the URL through this view's data store (its cookies included).
    virtual void startDownload(const Request& request) = 0;
};

// Builds data stores and web views. One per process.
class Engine {
public:
    virtual ~Engine() = default;

    // The shared default store.
    virtual std::shared_ptr<DataStore> defaultDataStore() = 0;
    // A store that keeps nothing on disk.
    virtual std::shared_ptr<DataStore> nonPersistentDataStore() = 0;
    // The persistent store of this identifier; the same one for the same text during a run.
    virtual std::shared_ptr<DataStore> dataStore(const std::string& identifier) = 0;
    // Forgets the persistent store of this identifier and deletes everything it kept on disk
    // (data and cache), for a profile that is deleted. The web views of that store must be
    // gone first: the engine can only drop its own reference. The completion runs once, on
    // the main thread, with false when the identifier is refused or a folder stayed behind.
    // A later dataStore() with the same identifier starts empty.
    virtual void removeDataStore(const std::string& identifier, std::function<void(bool)> completion) = 0;

    virtual std::shared_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) = 0;
};

} // namespace orvi::engine
