#include "engine/webkit/WebKitWebViewAdapter.h"

#include "core/base/Log.h"
#include "engine/webkit/WebKitConversions.h"
#include "engine/webkit/WebKitDataStore.h"

#include <algorithm>
#include <regex>

namespace orvi::engine::webkit {

namespace {

GQuark adapterQuark() {
    return g_quark_from_static_string("orvi-web-view-adapter");
}

// Each key of the arguments becomes a parameter name of the wrapping function.
bool isPlainIdentifier(const std::string& name) {
    static const std::regex identifier("^[A-Za-z_$][A-Za-z0-9_$]*$");
    return std::regex_match(name, identifier);
}

} // namespace

// One evaluation waiting for its answer. Whichever comes first — WebKit's answer, the time
// limit, or the web view going away — completes it; the others find it done.
struct WebKitWebViewAdapter::PendingScript {
    std::function<void(ScriptResult)> completion;
    GObjectPtr<GCancellable> cancellable = GObjectPtr<GCancellable>::adopt(g_cancellable_new());
    guint timer = 0;
    bool done = false;

    void finish(ScriptResult result) {
        if (done)
            return;
        done = true;
        if (timer)
            g_source_remove(timer);
        timer = 0;
        g_cancellable_cancel(cancellable.get());
        auto callback = std::move(completion);
        callback(std::move(result));
    }
};

namespace {

void deliverScriptAnswer(GObject* source, GAsyncResult* result, gpointer data, bool async) {
    using Pending = std::shared_ptr<WebKitWebViewAdapter::PendingScript>;
    std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
    GError* error = nullptr;
    JSCValue* value =
        async ? webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error)
              : webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    ScriptResult outcome = scriptResultFrom(value, error);
    if (value)
        g_object_unref(value);
    g_clear_error(&error);
    (*pending)->finish(std::move(outcome));
}

} // namespace

struct WebKitWebViewAdapter::MessageHandler {
    World world;
    std::function<void(const Json&)> handler;
    gulong signal = 0;
};

WebKitWebViewAdapter::WebKitWebViewAdapter(const WebViewConfiguration& configuration,
                                           std::shared_ptr<WebKitDataStore> dataStore)
    : m_dataStore(std::move(dataStore)), m_settings(GObjectPtr<WebKitSettings>::adopt(webkit_settings_new())),
      m_content(GObjectPtr<WebKitUserContentManager>::adopt(webkit_user_content_manager_new())) {
    WebKitSettings* settings = m_settings.get();
    webkit_settings_set_enable_javascript(settings, configuration.javaScriptEnabled);
    webkit_settings_set_javascript_can_open_windows_automatically(
        settings, configuration.javaScriptCanOpenWindowsAutomatically);
    webkit_settings_set_media_playback_requires_user_gesture(settings,
                                                             configuration.mediaPlaybackRequiresUserAction);
    webkit_settings_set_enable_fullscreen(settings, configuration.elementFullscreenEnabled);
    webkit_settings_set_enable_developer_extras(settings, configuration.developerExtrasEnabled);
    // Calls need camera and microphone access; whether a page gets it is the UI delegate's
    // decision on each request.
    webkit_settings_set_enable_media_stream(settings, TRUE);
    webkit_settings_set_enable_mock_capture_devices(settings, configuration.mockCaptureDevicesEnabled);

    auto* view = g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", webkit_web_context_get_default(),
                              "network-session", m_dataStore->session(), "user-content-manager",
                              m_content.get(), "settings", settings, nullptr);
    m_view = GObjectPtr<WebKitWebView>::retain(WEBKIT_WEB_VIEW(view));
    g_object_set_qdata(G_OBJECT(m_view.get()), adapterQuark(), this);
    connectSignals();
}

WebKitWebViewAdapter::~WebKitWebViewAdapter() {
    stopRequestTimer();
    for (auto& [script, handle] : m_userScripts)
        webkit_user_script_unref(handle);
    g_object_set_qdata(G_OBJECT(m_view.get()), adapterQuark(), nullptr);
    g_signal_handlers_disconnect_by_data(m_view.get(), this);
    for (auto& [name, handler] : m_messageHandlers) {
        g_signal_handler_disconnect(m_content.get(), handler->signal);
        webkit_user_content_manager_unregister_script_message_handler(m_content.get(), name.c_str(),
                                                                      worldName(handler->world));
    }
    // Scripts still waiting are answered from the main loop, not from inside this
    // destructor, so that their completions never run in the middle of their owner's
    // teardown.
    for (auto& weak : m_pendingScripts) {
        if (auto pending = weak.lock(); pending && !pending->done) {
            auto* keep = new std::shared_ptr<PendingScript>(pending);
            g_idle_add_full(
                G_PRIORITY_DEFAULT,
                [](gpointer data) {
                    (*static_cast<std::shared_ptr<PendingScript>*>(data))
                        ->finish(ScriptResult(Error{kJavaScriptErrorDomain, kWebViewInvalidatedCode,
                                                    "The web view was closed"}));
                    return G_SOURCE_REMOVE;
                },
                keep, [](gpointer data) { delete static_cast<std::shared_ptr<PendingScript>*>(data); });
        }
    }
    // A view that sits in a widget tree lives on there; it must not keep loading a page
    // nobody supervises.
    webkit_web_view_stop_loading(m_view.get());
}

DataStore& WebKitWebViewAdapter::dataStore() {
    return *m_dataStore;
}
std::shared_ptr<DataStore> WebKitWebViewAdapter::sharedDataStore() {
    return m_dataStore;
}

void WebKitWebViewAdapter::addUserScript(const UserScript& script) {
    auto frames = script.frameScope == FrameScope::allFrames ? WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES
                                                             : WEBKIT_USER_CONTENT_INJECT_TOP_FRAME;
    auto time = script.injectionTime == InjectionTime::documentStart
                    ? WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START
                    : WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END;
    // The "for world" constructor insists on a name; the page's world has none.
    WebKitUserScript* userScript =
        script.world == World::client
            ? webkit_user_script_new_for_world(script.source.c_str(), frames, time, kClientWorldName, nullptr,
                                               nullptr)
            : webkit_user_script_new(script.source.c_str(), frames, time, nullptr, nullptr);
    webkit_user_content_manager_add_script(m_content.get(), userScript);
    m_userScripts.emplace_back(script, userScript);
}

void WebKitWebViewAdapter::removeAllUserScripts() {
    webkit_user_content_manager_remove_all_scripts(m_content.get());
    for (auto& [script, handle] : m_userScripts)
        webkit_user_script_unref(handle);
    m_userScripts.clear();
}

void WebKitWebViewAdapter::removeUserScript(const UserScript& script) {
    auto found = std::find_if(m_userScripts.begin(), m_userScripts.end(),
                              [&](const auto& added) { return added.first == script; });
    if (found == m_userScripts.end())
        return;
    webkit_user_content_manager_remove_script(m_content.get(), found->second);
    webkit_user_script_unref(found->second);
    m_userScripts.erase(found);
}

void WebKitWebViewAdapter::addScriptMessageHandler(const std::string& name, World world,
                                                   std::function<void(const Json& body)> handler) {
    // WebKit's signal cannot tell two worlds apart, so a name lives in one world only: a
    // second registration replaces the first wherever it was.
    removeScriptMessageHandler(name);
    if (!webkit_user_content_manager_register_script_message_handler(m_content.get(), name.c_str(),
                                                                     worldName(world))) {
        logLine("❌ Could not register the script message handler " + name);
        return;
    }
    auto entry = std::make_unique<MessageHandler>();
    entry->world = world;
    entry->handler = std::move(handler);
    std::string signal = "script-message-received::" + name;
    entry->signal =
        g_signal_connect(m_content.get(), signal.c_str(),
                         G_CALLBACK(+[](WebKitUserContentManager*, JSCValue* value, gpointer data) {
                             // A copy, so that a handler that removes itself
                             // does not run on freed memory.
                             auto handler = static_cast<MessageHandler*>(data)->handler;
                             handler(jsonFrom(value));
                         }),
                         entry.get());
    m_messageHandlers[name] = std::move(entry);
}

void WebKitWebViewAdapter::removeScriptMessageHandler(const std::string& name) {
    auto it = m_messageHandlers.find(name);
    if (it == m_messageHandlers.end())
        return;
    g_signal_handler_disconnect(m_content.get(), it->second->signal);
    webkit_user_content_manager_unregister_script_message_handler(m_content.get(), name.c_str(),
                                                                  worldName(it->second->world));
    m_messageHandlers.erase(it);
}

void WebKitWebViewAdapter::evaluateJavaScript(const std::string& script, World world,
                                              std::function<void(ScriptResult)> completion) {
    runScript(script, world, nullptr, false, std::move(completion));
}

void WebKitWebViewAdapter::callAsyncJavaScript(const std::string& functionBody, const Json& arguments,
                                               World world, std::function<void(ScriptResult)> completion) {
    // WebKit hands over only numbers, strings and dictionaries, so the arguments travel as
    // one JSON text and become the parameters of a wrapping function again in the page.
    if (!arguments.is_null() && !arguments.is_object()) {
        completion(ScriptResult(Error{kJavaScriptErrorDomain, kJavaScriptInvalidArgumentsCode,
                                      "The arguments must be a JSON object"}));
        return;
    }
    std::string parameters;
    std::string values;
    if (arguments.is_object()) {
        for (const auto& [key, value] : arguments.items()) {
            if (!isPlainIdentifier(key)) {
                completion(ScriptResult(Error{kJavaScriptErrorDomain, kJavaScriptInvalidArgumentsCode,
                                              "The argument name is not an identifier: " + key}));
                return;
            }
            parameters += (parameters.empty() ? "" : ", ") + key;
            values += ", __orviArguments[" + toJsonText(Json(key)) + "]";
        }
    }
    std::string body = "const __orviArguments = JSON.parse(__orviArgumentsJSON);\n"
                       "return await (async function(" +
                       parameters + ") {\n" + functionBody + "\n}).call(this" + values + ");";
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    std::string text = toJsonText(arguments.is_null() ? Json::object() : arguments);
    g_variant_builder_add(&builder, "{sv}", "__orviArgumentsJSON", g_variant_new_string(text.c_str()));
    runScript(body, world, g_variant_builder_end(&builder), true, std::move(completion));
}

void WebKitWebViewAdapter::runScript(const std::string& script, World world, GVariant* arguments, bool async,
                                     std::function<void(ScriptResult)> completion) {
    auto pending = std::make_shared<PendingScript>();
    pending->completion = std::move(completion);
    std::erase_if(m_pendingScripts, [](const auto& weak) { return weak.expired(); });
    m_pendingScripts.push_back(pending);

    auto timeoutMs = static_cast<guint>(std::max(0.0, m_scriptTimeout.count()) * 1000.0);
    pending->timer = g_timeout_add_full(
        G_PRIORITY_DEFAULT, timeoutMs,
        [](gpointer data) {
            auto& script = *static_cast<std::shared_ptr<PendingScript>*>(data);
            script->timer = 0;
            script->finish(ScriptResult(
                Error{kJavaScriptErrorDomain, kJavaScriptTimedOutCode, "The script did not answer in time"}));
            return G_SOURCE_REMOVE;
        },
        new std::shared_ptr<PendingScript>(pending),
        [](gpointer data) { delete static_cast<std::shared_ptr<PendingScript>*>(data); });

    // A cancelled call may still answer (with a cancellation error); the pending script is
    // done by then and ignores it.
    auto* answer = new std::shared_ptr<PendingScript>(pending);
    const char* worldText = worldName(world);
    if (async)
        webkit_web_view_call_async_javascript_function(
            m_view.get(), script.c_str(), static_cast<gssize>(script.size()), arguments, worldText, nullptr,
            pending->cancellable.get(),
            [](GObject* source, GAsyncResult* result, gpointer data) {
                deliverScriptAnswer(source, result, data, true);
            },
            answer);
    else
        webkit_web_view_evaluate_javascript(
            m_view.get(), script.c_str(), static_cast<gssize>(script.size()), worldText, nullptr,
            pending->cancellable.get(),
            [](GObject* source, GAsyncResult* result, gpointer data) {
                deliverScriptAnswer(source, result, data, false);
            },
            answer);
}

void WebKitWebViewAdapter::prewarm() {
    if (m_prewarming || webkit_web_view_get_uri(m_view.get()))
        return;
    // A view starts its web process only with its first load. The blank page starts it now,
    // and the service page then reuses that process: the engine keeps a process that has
    // shown nothing but a blank page for the next site.
    m_prewarming = true;
    m_blankOnly = true;
    webkit_web_view_load_uri(m_view.get(), "about:blank");
}

void WebKitWebViewAdapter::runOrDefer(std::function<void()> step) {
    if (m_prewarming)
        m_afterPrewarm = std::move(step);
    else
        step();
}

void WebKitWebViewAdapter::endPrewarm() {
    if (!std::exchange(m_prewarming, false))
        return;
    if (auto step = std::exchange(m_afterPrewarm, nullptr))
        step();
}

void WebKitWebViewAdapter::load(const Request& request) {
    if (m_prewarming) {
        m_afterPrewarm = [this, request] { load(request); };
        return;
    }
    m_blankOnly = false;
    WebKitURIRequest* uriRequest = webkit_uri_request_new(request.url.c_str());
    SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(uriRequest);
    if (headers)
        for (const auto& [name, value] : request.headers)
            soup_message_headers_append(headers, name.c_str(), value.c_str());
    // Started after the call, so that the end of a load this one replaces cannot stop it.
    webkit_web_view_load_request(m_view.get(), uriRequest);
    startRequestTimer(request.timeoutSeconds);
    g_object_unref(uriRequest);
}

void WebKitWebViewAdapter::loadHTMLString(const std::string& html, const std::string& baseURL) {
    if (m_prewarming) {
        m_afterPrewarm = [this, html, baseURL] { loadHTMLString(html, baseURL); };
        return;
    }
    cancelRequestTimeout();
    m_blankOnly = false;
    webkit_web_view_load_html(m_view.get(), html.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
}

void WebKitWebViewAdapter::reload() {
    if (m_prewarming) {
        m_afterPrewarm = [this] { reload(); };
        return;
    }
    cancelRequestTimeout();
    webkit_web_view_reload(m_view.get());
}

void WebKitWebViewAdapter::stopLoading() {
    m_afterPrewarm = nullptr;
    cancelRequestTimeout();
    webkit_web_view_stop_loading(m_view.get());
}

std::string WebKitWebViewAdapter::url() const {
    // The blank page of a prewarm is no page: callers take a URL as "something was loaded".
    if (m_blankOnly)
        return {};
    const char* uri = webkit_web_view_get_uri(m_view.get());
    return uri ? uri : "";
}

std::string WebKitWebViewAdapter::title() const {
    const char* title = webkit_web_view_get_title(m_view.get());
    return title ? title : "";
}

bool WebKitWebViewAdapter::isLoading() const {
    return webkit_web_view_is_loading(m_view.get());
}

void WebKitWebViewAdapter::setCustomUserAgent(const std::string& userAgent) {
    m_customUserAgent = userAgent;
    // An empty text gives WebKit's own user agent back.
    webkit_settings_set_user_agent(m_settings.get(), userAgent.empty() ? nullptr : userAgent.c_str());
}

// WebKitGTK starts a download from a URL only and gives back a copy of its request, so
// the request's own headers cannot go out; the view's session supplies its cookies and the
// view its user agent, which is what the server needs to know the user.
void WebKitWebViewAdapter::startDownload(const Request& request) {
    if (!request.headers.empty())
        logLine("ℹ️ Download started without its " + std::to_string(request.headers.size()) +
                " request headers (the engine cannot attach them): " + request.url);
    if (WebKitDownload* download = webkit_web_view_download_uri(m_view.get(), request.url.c_str()))
        g_object_unref(download);
}

void WebKitWebViewAdapter::terminateWebProcess() {
    webkit_web_view_terminate_web_process(m_view.get());
}

// WebKitGTK has no per-request time-out, so the request's own is kept here: a load that
// has not committed when it runs out is stopped and reported as timed out. A fresh web view
// may not have started the load yet by then; it is stopped as soon as it starts.
void WebKitWebViewAdapter::startRequestTimer(double seconds) {
    cancelRequestTimeout();
    m_loadStarted = false;
    if (m_requestTimeoutLimit > 0 && (!(seconds > 0) || seconds > m_requestTimeoutLimit))
        seconds = m_requestTimeoutLimit;
    if (!(seconds > 0))
        return;
    m_requestTimer = g_timeout_add(
        static_cast<guint>(seconds * 1000.0),
        [](gpointer data) {
            auto* self = static_cast<WebKitWebViewAdapter*>(data);
            self->m_requestTimer = 0;
            self->m_timedOut = true;
            if (self->m_loadStarted)
                webkit_web_view_stop_loading(self->m_view.get());
            return G_SOURCE_REMOVE;
        },
        this);
}

void WebKitWebViewAdapter::stopRequestTimer() {
    if (m_requestTimer)
        g_source_remove(m_requestTimer);
    m_requestTimer = 0;
}

void WebKitWebViewAdapter::cancelRequestTimeout() {
    stopRequestTimer();
    m_timedOut = false;
}

void WebKitWebViewAdapter::routeDownload(WebKitDownload* download) {
    // The default session is shared by every engine in the process; each download is taken
    // by one adapter only.
    static const GQuark routed = g_quark_from_static_string("orvi-download-routed");
    if (g_object_get_qdata(G_OBJECT(download), routed))
        return;
    g_object_set_qdata(G_OBJECT(download), routed, GINT_TO_POINTER(1));
    WebKitWebView* view = webkit_download_get_web_view(download);
    auto* adapter =
        view ? static_cast<WebKitWebViewAdapter*>(g_object_get_qdata(G_OBJECT(view), adapterQuark()))
             : nullptr;
    if (!adapter) {
        logLine("⚠️ Download without a web view to deliver it to, cancelled");
        webkit_download_cancel(download);
        return;
    }
    adapter->adoptDownload(download);
}

void WebKitWebViewAdapter::removeFromViewHierarchy() {
    // The adapter holds its own reference to the view, so leaving the parent never destroys
    // it. Each container kind has its own way to let a child go; unparenting directly is
    // only right for widgets that manage their children by hand.
    GtkWidget* view = widget();
    GtkWidget* parent = gtk_widget_get_parent(view);
    // A stack keeps one page per profile and shows one at a time by switching pages; a web
    // view in a stack stays there instead of being unrealized and rebuilt on every switch.
    if (!parent || GTK_IS_STACK(parent))
        return;
    if (GTK_IS_BOX(parent))
        gtk_box_remove(GTK_BOX(parent), view);
    else if (GTK_IS_WINDOW(parent))
        gtk_window_set_child(GTK_WINDOW(parent), nullptr);
    else if (GTK_IS_SCROLLED_WINDOW(parent))
        gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(parent), nullptr);
    else if (GTK_IS_FRAME(parent))
        gtk_frame_set_child(GTK_FRAME(parent), nullptr);
    else if (GTK_IS_OVERLAY(parent) && gtk_overlay_get_child(GTK_OVERLAY(parent)) == view)
        gtk_overlay_set_child(GTK_OVERLAY(parent), nullptr);
    else if (GTK_IS_OVERLAY(parent))
        gtk_overlay_remove_overlay(GTK_OVERLAY(parent), view);
    else
        gtk_widget_unparent(view);
}

} // namespace orvi::engine::webkit
