#include "platform/linux/GioUriLauncher.h"

#include "core/base/Log.h"

#include <gio/gio.h>

namespace orvi::platform {

void GioUriLauncher::launch(const std::string& uri) {
    auto* uriCopy = g_strdup(uri.c_str());
    g_app_info_launch_default_for_uri_async(
        uri.c_str(), nullptr, nullptr,
        [](GObject*, GAsyncResult* result, gpointer data) {
            GError* error = nullptr;
            auto* launched = static_cast<char*>(data);
            if (g_app_info_launch_default_for_uri_finish(result, &error)) {
                logLine(std::string("🌐 Opened in the default browser: ") + launched);
            } else {
                logLine(std::string("❌ Could not open in the default browser: ") + launched + " (" +
                        (error ? error->message : "unknown error") + ")");
                g_clear_error(&error);
            }
            g_free(launched);
        },
        uriCopy);
}

} // namespace orvi::platform
