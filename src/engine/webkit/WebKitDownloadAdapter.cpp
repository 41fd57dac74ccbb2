#include "engine/webkit/WebKitDownloadAdapter.h"

#include "core/base/Log.h"
#include "engine/webkit/WebKitConversions.h"

#include <filesystem>

namespace orvi::engine::webkit {

namespace {

inline constexpr const char* kDestinationErrorDomain = "WebKitDownloadError";

// WebKit writes only to an absolute path and, when a file is already there, fails and
// deletes that file: a destination is accepted only when nothing exists at it yet.
std::optional<Error> refusalOf(const std::string& path) {
    std::filesystem::path destination(path);
    if (!destination.is_absolute())
        return Error{kDestinationErrorDomain, WEBKIT_DOWNLOAD_ERROR_DESTINATION,
                     "The download destination is not an absolute path: " + path};
    std::error_code error;
    if (std::filesystem::symlink_status(destination, error).type() != std::filesystem::file_type::not_found)
        return Error{kDestinationErrorDomain, WEBKIT_DOWNLOAD_ERROR_DESTINATION,
                     "The download destination already exists: " + path};
    return std::nullopt;
}

} // namespace

WebKitDownloadAdapter::WebKitDownloadAdapter(WebKitDownload* download)
    : m_download(GObjectPtr<WebKitDownload>::retain(download)) {}

std::shared_ptr<WebKitDownloadAdapter> WebKitDownloadAdapter::start(WebKitDownload* download) {
    std::shared_ptr<WebKitDownloadAdapter> adapter(new WebKitDownloadAdapter(download));
    adapter->m_self = adapter;
    g_signal_connect(download, "decide-destination", G_CALLBACK(onDecideDestination), adapter.get());
    g_signal_connect(download, "failed", G_CALLBACK(onFailed), adapter.get());
    g_signal_connect(download, "finished", G_CALLBACK(onFinished), adapter.get());
    return adapter;
}

WebKitDownloadAdapter::~WebKitDownloadAdapter() {
    g_signal_handlers_disconnect_by_data(m_download.get(), this);
}

std::string WebKitDownloadAdapter::url() const {
    WebKitURIRequest* request = webkit_download_get_request(m_download.get());
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    return uri ? uri : "";
}

std::optional<NavigationResponse> WebKitDownloadAdapter::response() const {
    WebKitURIResponse* response = webkit_download_get_response(m_download.get());
    if (!response)
        return std::nullopt;
    return responseFrom(response, true);
}

void WebKitDownloadAdapter::cancel() {
    webkit_download_cancel(m_download.get());
}

gboolean WebKitDownloadAdapter::onDecideDestination(WebKitDownload* download, gchar* suggestedFilename,
                                                    gpointer data) {
    auto* self = static_cast<WebKitDownloadAdapter*>(data);
    if (!self->m_delegate) {
        logLine("⚠️ Download has nobody to choose its destination, cancelled: " + self->url());
        webkit_download_cancel(download);
        return TRUE;
    }
    // The answer may come later; it holds the download weakly and a reference to WebKit's
    // download, and a dropped answer cancels the download instead of leaving it waiting.
    struct Answer {
        std::weak_ptr<WebKitDownloadAdapter> owner;
        GObjectPtr<WebKitDownload> download;
        bool answered = false;
        ~Answer() {
            if (!answered)
                webkit_download_cancel(download.get());
        }
    };
    auto answer = std::make_shared<Answer>();
    answer->owner = self->weak_from_this();
    answer->download = GObjectPtr<WebKitDownload>::retain(download);
    self->m_delegate->decideDestination(
        *self, suggestedFilename ? suggestedFilename : "", [answer](std::optional<std::string> destination) {
            if (answer->answered)
                return;
            answer->answered = true;
            if (!destination) {
                webkit_download_cancel(answer->download.get());
                return;
            }
            if (auto refusal = refusalOf(*destination)) {
                logLine("❌ " + refusal->message);
                if (auto owner = answer->owner.lock())
                    owner->m_refusal = refusal;
                webkit_download_cancel(answer->download.get());
                return;
            }
            webkit_download_set_allow_overwrite(answer->download.get(), FALSE);
            webkit_download_set_destination(answer->download.get(), destination->c_str());
        });
    return TRUE;
}

void WebKitDownloadAdapter::onFailed(WebKitDownload*, GError* error, gpointer data) {
    auto* self = static_cast<WebKitDownloadAdapter*>(data);
    self->m_failed = true;
    Error failure = self->m_refusal ? *self->m_refusal : errorFrom(error);
    if (self->m_delegate)
        self->m_delegate->downloadDidFail(*self, failure);
}

void WebKitDownloadAdapter::onFinished(WebKitDownload*, gpointer data) {
    auto* self = static_cast<WebKitDownloadAdapter*>(data);
    // WebKit reports "finished" after "failed" too; only one of them reaches the delegate.
    // The last reference goes only after the delegate has been told.
    auto keep = std::move(self->m_self);
    if (!self->m_failed && self->m_delegate)
        self->m_delegate->downloadDidFinish(*self);
}

} // namespace orvi::engine::webkit
