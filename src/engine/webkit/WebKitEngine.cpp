#include "engine/webkit/WebKitEngine.h"

#include "core/base/Log.h"
#include "core/base/PrivateFiles.h"
#include "engine/webkit/WebKitDataStore.h"
#include "engine/webkit/WebKitWebViewAdapter.h"

#include <glib/gstdio.h>
#include <vector>

namespace orvi::engine::webkit {

namespace {

inline constexpr const char* kCookieFileName = "cookies.sqlite";

// Session data is private to the user whatever the umask.
bool makePrivateFolder(const std::filesystem::path& folder) {
    if (g_mkdir_with_parents(folder.c_str(), 0700) != 0 || g_chmod(folder.c_str(), 0700) != 0) {
        logLine("❌ Could not create the engine folder " + folder.string());
        return false;
    }
    return true;
}

bool isPlainFolderName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

void keepCookiesIn(WebKitNetworkSession* session, const std::filesystem::path& folder) {
    auto file = folder / kCookieFileName;
    // SQLite keeps an existing file's mode and gives its -wal and -shm the same one, so a
    // file made 0600 here keeps the cookies private whatever the network process's umask.
    if (auto made = orvi::makePrivateFile(file); !made)
        logLine("⚠️ Could not make the cookie file private: " + made.error().message);
    webkit_cookie_manager_set_persistent_storage(webkit_network_session_get_cookie_manager(session),
                                                 file.c_str(), WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
}

// A deleted profile's folders, removed on a worker thread: a cache folder can hold thousands
// of files. The completion is only touched on the main thread.
struct FolderRemoval {
    std::string identifier;
    std::vector<std::filesystem::path> folders;
    std::function<void(bool)> completion;
    std::vector<std::string> failures;
};

void removeFoldersInBackground(std::unique_ptr<FolderRemoval> removal) {
    GTask* task = g_task_new(
        nullptr, nullptr,
        [](GObject*, GAsyncResult* result, gpointer) {
            auto* removal = static_cast<FolderRemoval*>(g_task_get_task_data(G_TASK(result)));
            const bool removed = g_task_propagate_boolean(G_TASK(result), nullptr);
            for (const auto& failure : removal->failures)
                logLine("❌ Could not remove the engine folder " + failure);
            if (removed)
                logLine("🗑️ Removed the engine data and cache folders of " + removal->identifier);
            auto completion = std::move(removal->completion);
            completion(removed);
        },
        nullptr);
    g_task_set_task_data(task, removal.release(),
                         [](gpointer data) { delete static_cast<FolderRemoval*>(data); });
    g_task_run_in_thread(task, [](GTask* task, gpointer, gpointer data, GCancellable*) {
        auto* removal = static_cast<FolderRemoval*>(data);
        for (const auto& folder : removal->folders) {
            std::error_code error;
            // remove_all does not follow symbolic links: a link inside is removed, not its target.
            std::filesystem::remove_all(folder, error);
            if (error)
                removal->failures.push_back(folder.string() + ": " + error.message());
        }
        g_task_return_boolean(task, removal->failures.empty());
    });
    g_object_unref(task);
}

} // namespace

WebKitEngine::WebKitEngine(std::filesystem::path dataRoot, std::filesystem::path cacheRoot,
                           std::optional<std::string> proxy)
    : m_dataRoot(std::move(dataRoot)), m_cacheRoot(std::move(cacheRoot)), m_proxy(std::move(proxy)) {
    if (m_proxy)
        logLine("🔧 Web engine traffic goes through the proxy " + *m_proxy);
}

WebKitEngine::~WebKitEngine() = default;

std::shared_ptr<WebKitDataStore> WebKitEngine::wrap(WebKitNetworkSession* session) {
    if (m_proxy) {
        // An empty ignore list sends even loopback names through the proxy.
        const char* const noIgnoredHosts[] = {nullptr};
        WebKitNetworkProxySettings* settings =
            webkit_network_proxy_settings_new(m_proxy->c_str(), noIgnoredHosts);
        webkit_network_session_set_proxy_settings(session, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, settings);
        webkit_network_proxy_settings_free(settings);
    }
    return std::make_shared<WebKitDataStore>(session);
}

std::shared_ptr<DataStore> WebKitEngine::defaultDataStore() {
    if (!m_default) {
        WebKitNetworkSession* session = webkit_network_session_get_default();
        // The default session keeps its cookies in memory unless told otherwise; the shared
        // store is meant to last across runs, so they go beside its other data.
        WebKitWebsiteDataManager* manager = webkit_network_session_get_website_data_manager(session);
        if (const char* folder = webkit_website_data_manager_get_base_data_directory(manager))
            if (makePrivateFolder(folder))
                keepCookiesIn(session, folder);
        m_default = wrap(session);
    }
    return m_default;
}

std::shared_ptr<DataStore> WebKitEngine::nonPersistentDataStore() {
    WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
    auto store = wrap(session);
    g_object_unref(session);
    return store;
}

std::shared_ptr<DataStore> WebKitEngine::dataStore(const std::string& identifier) {
    if (auto it = m_stores.find(identifier); it != m_stores.end())
        return it->second;
    if (!isPlainFolderName(identifier)) {
        logLine("❌ Refusing a data store folder for the identifier \"" + identifier +
                "\"; using a store that keeps nothing");
        return nonPersistentDataStore();
    }
    auto dataDir = m_dataRoot / identifier;
    auto cacheDir = m_cacheRoot / identifier;
    if (!makePrivateFolder(m_dataRoot) || !makePrivateFolder(m_cacheRoot) || !makePrivateFolder(dataDir) ||
        !makePrivateFolder(cacheDir)) {
        logLine("❌ No data store folder for " + identifier + "; using a store that keeps nothing");
        return nonPersistentDataStore();
    }
    WebKitNetworkSession* session = webkit_network_session_new(dataDir.c_str(), cacheDir.c_str());
    keepCookiesIn(session, dataDir);
    auto store = wrap(session);
    g_object_unref(session);
    m_stores.emplace(identifier, store);
    return store;
}

void WebKitEngine::removeDataStore(const std::string& identifier, std::function<void(bool)> completion) {
    if (!isPlainFolderName(identifier)) {
        logLine("❌ Refusing to remove a data store folder for the identifier \"" + identifier + "\"");
        completion(false);
        return;
    }
    auto removal = std::make_unique<FolderRemoval>(FolderRemoval{
        identifier, {m_dataRoot / identifier, m_cacheRoot / identifier}, std::move(completion), {}});
    auto it = m_stores.find(identifier);
    if (it == m_stores.end()) {
        // Folders left by an earlier run go too.
        removeFoldersInBackground(std::move(removal));
        return;
    }
    auto store = std::move(it->second);
    m_stores.erase(it);
    auto* clearing = store.get();
    clearing->removeAllData(
        [store = std::move(store), removal = std::shared_ptr<FolderRemoval>(std::move(removal))]() mutable {
            removeFoldersInBackground(std::make_unique<FolderRemoval>(std::move(*removal)));
        });
}

std::shared_ptr<WebView> WebKitEngine::makeWebView(const WebViewConfiguration& configuration) {
    auto store = std::dynamic_pointer_cast<WebKitDataStore>(configuration.dataStore);
    if (!store)
        store = std::static_pointer_cast<WebKitDataStore>(defaultDataStore());
    auto view = std::make_shared<WebKitWebViewAdapter>(configuration, std::move(store));
    view->setRequestTimeoutLimit(m_requestTimeoutLimit);
    if (!m_acceleratedCompositing)
        webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view->widget())),
                                                         WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    return view;
}

GtkWidget* WebKitEngine::widget(WebView& webView) {
    auto* adapter = dynamic_cast<WebKitWebViewAdapter*>(&webView);
    return adapter ? adapter->widget() : nullptr;
}

void WebKitEngine::terminateWebProcess(WebView& webView) {
    if (auto* adapter = dynamic_cast<WebKitWebViewAdapter*>(&webView))
        adapter->terminateWebProcess();
}

} // namespace orvi::engine::webkit
