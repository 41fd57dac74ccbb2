#include "ui/ChatExportModule.h"

#include <gio/gio.h>

extern "C" GResource* orvi_chat_export_get_resource(void);

namespace orvi::ui {

std::optional<std::string> chatExportModuleSource() {
    // Looked up in our own bundle rather than the global registry, which also keeps the
    // generated registration code linked in from the static library.
    GError* error = nullptr;
    GBytes* bytes = g_resource_lookup_data(orvi_chat_export_get_resource(),
                                           "/com/orviwrapper/OrviWrapper/js/ChatExport.js",
                                           G_RESOURCE_LOOKUP_FLAGS_NONE, &error);
    if (!bytes) {
        g_clear_error(&error);
        return std::nullopt;
    }
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string text(data ? data : "", size);
    g_bytes_unref(bytes);
    return text;
}

} // namespace orvi::ui
