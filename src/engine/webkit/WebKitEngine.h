#pragma once

#include "engine/WebView.h"

#include <filesystem>
#include <gtk/gtk.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <webkit/webkit.h>

namespace orvi::engine::webkit {

class WebKitDataStore;

// The engine over WebKitGTK 6.0: one persistent network session per identifier under
// <dataRoot>/<identifier>/ and <cacheRoot>/<identifier>/, the default session as the
// shared store, ephemeral sessions for stores that keep nothing, and web views in the
// default web context. With a proxy, every session sends all its traffic through it.
class WebKitEngine final : public Engine {
public:
    WebKitEngine(std::filesystem::path dataRoot, std::filesystem::path cacheRoot,
                 std::optional<std::string> proxy = std::nullopt);
    ~WebKitEngine() override;
    WebKitEngine(const WebKitEngine&) = delete;
    WebKitEngine& operator=(const WebKitEngine&) = delete;

    std::shared_ptr<DataStore> defaultDataStore() override;
    std::shared_ptr<DataStore> nonPersistentDataStore() override;
    // An identifier that is not a plain folder name (empty, ".", "..", or holding a slash)
    // never reaches the disk: it gets a store that keeps nothing, and the refusal is logged.
    std::shared_ptr<DataStore> dataStore(const std::string& identifier) override;
    // Clears the store's data through the network process first (so that a session still
    // alive does not write it back), then deletes both folders off the main thread.
    void removeDataStore(const std::string& identifier, std::function<void(bool)> completion) override;
    std::shared_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) override;

    // Off: web views made from now on composite without GL, which on a software GL driver
    // costs each web process tens of megabytes and buys nothing.
    void setAcceleratedCompositing(bool enabled) { m_acceleratedCompositing = enabled; }
    // For web views made from now on (see WebKitWebViewAdapter::setRequestTimeoutLimit).
    void setRequestTimeoutLimit(double seconds) { m_requestTimeoutLimit = seconds; }

    // The widget of a web view this engine made, for the UI; null for any other web view.
    static GtkWidget* widget(WebView& webView);
    // Kills the web content process of a web view this engine made, as a crash would.
    static void terminateWebProcess(WebView& webView);

private:
    std::shared_ptr<WebKitDataStore> wrap(WebKitNetworkSession* session);

    std::filesystem::path m_dataRoot;
    std::filesystem::path m_cacheRoot;
    std::optional<std::string> m_proxy;
    std::shared_ptr<WebKitDataStore> m_default;
    std::map<std::string, std::shared_ptr<WebKitDataStore>> m_stores;
    bool m_acceleratedCompositing = true;
    double m_requestTimeoutLimit = 0;
};

} // namespace orvi::engine::webkit
