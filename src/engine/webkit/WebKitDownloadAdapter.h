#pragma once

#include "engine/WebView.h"
#include "engine/webkit/GObjectPtr.h"

#include <memory>
#include <optional>
#include <webkit/webkit.h>

namespace orvi::engine::webkit {

// An engine::Download over a WebKitDownload. It keeps itself alive until WebKit reports
// the end of the download, as WebKit keeps the download running whoever holds it; the
// delegate is told exactly one of finish or failure.
class WebKitDownloadAdapter final : public Download,
                                    public std::enable_shared_from_this<WebKitDownloadAdapter> {
public:
    static std::shared_ptr<WebKitDownloadAdapter> start(WebKitDownload* download);
    ~WebKitDownloadAdapter() override;
    WebKitDownloadAdapter(const WebKitDownloadAdapter&) = delete;
    WebKitDownloadAdapter& operator=(const WebKitDownloadAdapter&) = delete;

    std::string url() const override;
    std::optional<NavigationResponse> response() const override;
    void setDelegate(DownloadDelegate* delegate) override { m_delegate = delegate; }
    void cancel() override;

private:
    explicit WebKitDownloadAdapter(WebKitDownload* download);

    static gboolean onDecideDestination(WebKitDownload*, gchar* suggestedFilename, gpointer);
    static void onFailed(WebKitDownload*, GError*, gpointer);
    static void onFinished(WebKitDownload*, gpointer);

    GObjectPtr<WebKitDownload> m_download;
    DownloadDelegate* m_delegate = nullptr;
    std::shared_ptr<WebKitDownloadAdapter> m_self;
    // Set when this adapter refused a destination, to report why instead of WebKit's
    // plain "cancelled".
    std::optional<Error> m_refusal;
    bool m_failed = false;
};

} // namespace orvi::engine::webkit
