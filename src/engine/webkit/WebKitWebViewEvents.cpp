// The WebKit signals of a web view, turned into delegate calls. Each handler finishes its
// own work before it calls a delegate, because a delegate may drop the web view and with it
// this adapter.
#include "core/base/Log.h"
#include "engine/webkit/WebKitConversions.h"
#include "engine/webkit/WebKitDownloadAdapter.h"
#include "engine/webkit/WebKitWebViewAdapter.h"

#include <utility>

namespace orvi::engine::webkit {

namespace {

// A decision WebKit waits for. It is answered exactly once: by the delegate, or, when the
// delegate drops it unanswered, by cancelling, since a navigation nobody approved should
// not happen.
class PolicyAnswer {
public:
    explicit PolicyAnswer(WebKitPolicyDecision* decision)
        : m_decision(GObjectPtr<WebKitPolicyDecision>::retain(decision)) {}
    ~PolicyAnswer() {
        if (!m_answered) {
            logLine(
                "⚠️ A navigation decision was dropped without an answer; the navigation is cancelled");
            webkit_policy_decision_ignore(m_decision.get());
        }
    }
    PolicyAnswer(const PolicyAnswer&) = delete;
    PolicyAnswer& operator=(const PolicyAnswer&) = delete;

    void answer(PolicyDecision decision) {
        if (m_answered)
            return;
        m_answered = true;
        switch (decision) {
        case PolicyDecision::allow:
            webkit_policy_decision_use(m_decision.get());
            break;
        case PolicyDecision::cancel:
            webkit_policy_decision_ignore(m_decision.get());
            break;
        case PolicyDecision::download:
            webkit_policy_decision_download(m_decision.get());
            break;
        }
    }

private:
    GObjectPtr<WebKitPolicyDecision> m_decision;
    bool m_answered = false;
};

// A script dialog the page waits on. An answer given while WebKit is still in its signal
// needs nothing more; a later one follows WebKit's asynchronous protocol: a reference
// taken when the signal ends, answered with webkit_script_dialog_close(). A dropped
// answer dismisses the dialog.
class DialogAnswer {
public:
    explicit DialogAnswer(WebKitScriptDialog* dialog) : m_dialog(dialog) {}
    ~DialogAnswer() { finish(); }
    DialogAnswer(const DialogAnswer&) = delete;
    DialogAnswer& operator=(const DialogAnswer&) = delete;

    // Called when the signal handler returns: from then on the dialog must be held.
    void holdIfPending() {
        if (!m_answered && !m_held) {
            webkit_script_dialog_ref(m_dialog);
            m_held = true;
        }
    }
    void confirm(bool confirmed) {
        if (!m_answered)
            webkit_script_dialog_confirm_set_confirmed(m_dialog, confirmed);
        finish();
    }
    void finish() {
        if (m_answered)
            return;
        m_answered = true;
        if (m_held) {
            webkit_script_dialog_close(m_dialog);
            // Closing answers the page; the reference taken to outlive the signal is ours.
            webkit_script_dialog_unref(m_dialog);
        }
    }

private:
    WebKitScriptDialog* m_dialog;
    bool m_held = false;
    bool m_answered = false;
};

// A permission request is denied unless granted; a dropped answer denies it.
class PermissionAnswer {
public:
    explicit PermissionAnswer(WebKitPermissionRequest* request)
        : m_request(GObjectPtr<WebKitPermissionRequest>::retain(request)) {}
    ~PermissionAnswer() { answer(PermissionDecision::deny); }
    PermissionAnswer(const PermissionAnswer&) = delete;
    PermissionAnswer& operator=(const PermissionAnswer&) = delete;

    // There is no system prompt to fall back on here, so "prompt" denies.
    void answer(PermissionDecision decision) {
        if (m_answered)
            return;
        m_answered = true;
        if (decision == PermissionDecision::grant)
            webkit_permission_request_allow(m_request.get());
        else
            webkit_permission_request_deny(m_request.get());
    }

private:
    GObjectPtr<WebKitPermissionRequest> m_request;
    bool m_answered = false;
};

std::string originOf(WebKitWebView* view) {
    const char* uri = webkit_web_view_get_uri(view);
    if (!uri)
        return {};
    WebKitSecurityOrigin* origin = webkit_security_origin_new_for_uri(uri);
    char* text = webkit_security_origin_to_string(origin);
    std::string result = text ? text : "";
    g_free(text);
    webkit_security_origin_unref(origin);
    return result;
}

} // namespace

void WebKitWebViewAdapter::connectSignals() {
    WebKitWebView* view = m_view.get();
    g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(view, "create", G_CALLBACK(onCreate), this);
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(view, "load-failed", G_CALLBACK(onLoadFailed), this);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(onWebProcessTerminated), this);
    g_signal_connect(view, "script-dialog", G_CALLBACK(onScriptDialog), this);
    g_signal_connect(view, "permission-request", G_CALLBACK(onPermissionRequest), this);
}

gboolean WebKitWebViewAdapter::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                              WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<WebKitWebViewAdapter*>(data);
    NavigationDelegate* delegate = self->m_navigationDelegate;
    // With no delegate WebKit decides as a browser would; the blank page is always let through.
    if (!delegate || self->m_prewarming)
        return FALSE;
    auto answer = std::make_shared<PolicyAnswer>(decision);
    auto handler = [answer](PolicyDecision choice) { answer->answer(choice); };
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        auto* responseDecision = WEBKIT_RESPONSE_POLICY_DECISION(decision);
        NavigationResponse response =
            responseFrom(webkit_response_policy_decision_get_response(responseDecision),
                         webkit_response_policy_decision_is_main_frame_main_resource(responseDecision));
        delegate->decidePolicyForNavigationResponse(*self, response, std::move(handler));
        return TRUE;
    }
    auto* navigationDecision = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    NavigationAction action =
        actionFrom(webkit_navigation_policy_decision_get_navigation_action(navigationDecision),
                   type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION);
    if (action.opensNewWindow)
        self->m_decidedNewWindowURL = action.url;
    delegate->decidePolicyForNavigationAction(*self, action, std::move(handler));
    return TRUE;
}

// A page asks for a new window. Links with a target pass the policy first; window.open()
// comes here directly. No second window is ever made: the delegate sees the action as one
// that opens a new window and may load it where it likes; its answer changes nothing here.
GtkWidget* WebKitWebViewAdapter::onCreate(WebKitWebView*, WebKitNavigationAction* navigationAction,
                                          gpointer data) {
    auto* self = static_cast<WebKitWebViewAdapter*>(data);
    NavigationAction action = actionFrom(navigationAction, true);
    if (std::exchange(self->m_decidedNewWindowURL, std::string()) == action.url)
        return nullptr;
    if (NavigationDelegate* delegate = self->m_navigationDelegate)
        delegate->decidePolicyForNavigationAction(*self, action, [](PolicyDecision) {});
    return nullptr;
}

void WebKitWebViewAdapter::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<WebKitWebViewAdapter*>(data);
    if (self->m_prewarming) {
        if (event == WEBKIT_LOAD_FINISHED)
            self->endPrewarm();
        return;
    }
    NavigationDelegate* delegate = self->m_navigationDelegate;
    switch (event) {
    case WEBKIT_LOAD_STARTED:
        self->m_committed = false;
        self->m_failed = false;
        self->m_loadStarted = true;
        if (self->m_timedOut)
            webkit_web_view_stop_loading(self->m_view.get());
        if (delegate)
            delegate->didStartProvisionalNavigation(*self);
        break;
    case WEBKIT_LOAD_REDIRECTED:
        break;
    case WEBKIT_LOAD_COMMITTED:
        self->m_committed = true;
        self->cancelRequestTimeout();
        if (delegate)
            delegate->didCommitNavigation(*self);
        break;
    case WEBKIT_LOAD_FINISHED:
        self->cancelRequestTimeout();
        // WebKit ends a failed load with "finished" as well; the failure was reported.
        if (!self->m_failed && delegate)
            delegate->didFinishNavigation(*self);
        break;
    }
}

gboolean WebKitWebViewAdapter::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error,
                                            gpointer data) {
    auto* self = static_cast<WebKitWebViewAdapter*>(data);
    // WebKit still ends the failed blank page with "finished", which ends the prewarm.
    if (self->m_prewarming)
        return TRUE;
    self->m_failed = true;
    Error failure = navigationErrorFrom(error);
    if (self->m_timedOut && failure.domain == kURLErrorDomain && failure.code == kURLErrorCancelled)
        failure = Error{kURLErrorDomain, kURLErrorTimedOut, "The request timed out."};
    self->cancelRequestTimeout();
    bool committed = self->m_committed;
    if (NavigationDelegate* delegate = self->m_navigationDelegate) {
        if (committed)
            delegate->didFailNavigation(*self, failure);
        else
            delegate->didFailProvisionalNavigation(*self, failure);
    }
    // Handled: WebKit would otherwise load its own error page as a new navigation.
    return TRUE;
}

void WebKitWebViewAdapter::onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                                  gpointer data) {
    auto* self = static_cast<WebKitWebViewAdapter*>(data);
    if (self->m_prewarming) {
        // The process never came up: the page's own load starts another one.
        self->endPrewarm();
        return;
    }
    self->cancelRequestTimeout();
    ProcessTerminationReason why = ProcessTerminationReason::crashed;
    if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT)
        why = ProcessTerminationReason::exceededMemoryLimit;
    else if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API)
        why = ProcessTerminationReason::terminatedByClient;
    if (NavigationDelegate* delegate = self->m_navigationDelegate)
        delegate->webContentProcessDidTerminate(*self, why);
}

gboolean WebKitWebViewAdapter::onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
    auto* self = static_cast<WebKitWebViewAdapter*>(data);
    UIDelegate* delegate = self->m_uiDelegate;
    std::string message =
        webkit_script_dialog_get_message(dialog) ? webkit_script_dialog_get_message(dialog) : "";
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_ALERT:
        if (delegate) {
            auto answer = std::make_shared<DialogAnswer>(dialog);
            delegate->runJavaScriptAlert(*self, message, [answer] { answer->finish(); });
            answer->holdIfPending();
        }
        return TRUE;
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
        if (delegate) {
            auto answer = std::make_shared<DialogAnswer>(dialog);
            delegate->runJavaScriptConfirm(*self, message,
                                           [answer](bool confirmed) { answer->confirm(confirmed); });
            answer->holdIfPending();
        } else {
            webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
        }
        return TRUE;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
        // Nothing here asks the user to stay on a page: leaving is always allowed.
        webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
        return TRUE;
    case WEBKIT_SCRIPT_DIALOG_PROMPT:
        // No prompt is offered: the page gets null, as when the user cancels.
        return TRUE;
    }
    return FALSE;
}

gboolean WebKitWebViewAdapter::onPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request,
                                                   gpointer data) {
    auto* self = static_cast<WebKitWebViewAdapter*>(data);
    if (!WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request))
        return FALSE;
    auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
    auto answer = std::make_shared<PermissionAnswer>(request);
    bool audio = webkit_user_media_permission_is_for_audio_device(media);
    bool video = webkit_user_media_permission_is_for_video_device(media);
    UIDelegate* delegate = self->m_uiDelegate;
    if (!delegate || webkit_user_media_permission_is_for_display_device(media) || (!audio && !video)) {
        answer->answer(PermissionDecision::deny);
        return TRUE;
    }
    MediaCaptureType type = audio && video ? MediaCaptureType::cameraAndMicrophone
                            : video        ? MediaCaptureType::camera
                                           : MediaCaptureType::microphone;
    delegate->requestMediaCapturePermission(
        *self, originOf(view), type, [answer](PermissionDecision decision) { answer->answer(decision); });
    return TRUE;
}

void WebKitWebViewAdapter::adoptDownload(WebKitDownload* download) {
    auto adapter = WebKitDownloadAdapter::start(download);
    if (NavigationDelegate* delegate = m_navigationDelegate) {
        delegate->navigationDidBecomeDownload(*this, adapter);
        return;
    }
    logLine("⚠️ Download with no navigation delegate to take it, cancelled: " + adapter->url());
    adapter->cancel();
}

} // namespace orvi::engine::webkit
