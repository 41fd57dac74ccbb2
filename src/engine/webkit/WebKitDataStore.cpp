#include "engine/webkit/WebKitDataStore.h"

#include "core/base/Log.h"
#include "engine/webkit/WebKitWebViewAdapter.h"

#include <memory>

namespace orvi::engine::webkit {

WebKitDataStore::WebKitDataStore(WebKitNetworkSession* session)
    : m_session(GObjectPtr<WebKitNetworkSession>::retain(session)),
      m_cookies(webkit_network_session_get_cookie_manager(session)) {
    m_downloadStartedHandler =
        g_signal_connect(session, "download-started",
                         G_CALLBACK(+[](WebKitNetworkSession*, WebKitDownload* download, gpointer) {
                             WebKitWebViewAdapter::routeDownload(download);
                         }),
                         nullptr);
}

WebKitDataStore::~WebKitDataStore() {
    g_signal_handler_disconnect(m_session.get(), m_downloadStartedHandler);
}

bool WebKitDataStore::isPersistent() const {
    return !webkit_network_session_is_ephemeral(m_session.get());
}

void WebKitDataStore::removeAllData(std::function<void()> completion) {
    using Completion = std::function<void()>;
    WebKitWebsiteDataManager* manager = webkit_network_session_get_website_data_manager(m_session.get());
    webkit_website_data_manager_clear(
        manager, WEBKIT_WEBSITE_DATA_ALL, 0, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Completion> completion(static_cast<Completion*>(data));
            GError* error = nullptr;
            if (!webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result,
                                                          &error)) {
                logLine(std::string("❌ Removing website data failed: ") +
                        (error ? error->message : "unknown error"));
                g_clear_error(&error);
            }
            (*completion)();
        },
        new Completion(std::move(completion)));
}

} // namespace orvi::engine::webkit
