#include "platform/linux/AppIcon.h"

#include "AppIconData.h"
#include "core/base/Log.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace orvi::platform {

const std::string& AppIcon::svg() {
    static const std::string text(kAppIconSvg);
    return text;
}

std::vector<IconPixmap> AppIcon::pixmaps(const std::vector<int>& sizes) {
    std::vector<IconPixmap> result;
    for (int size : sizes) {
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("svg", nullptr);
        if (!loader) {
            Log::line("⚠️ No SVG renderer for the tray icon; it relies on the icon theme");
            return result;
        }
        gdk_pixbuf_loader_set_size(loader, size, size);
        GError* error = nullptr;
        const auto& text = svg();
        const bool loaded = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(text.data()),
                                                    text.size(), &error) &&
                            gdk_pixbuf_loader_close(loader, &error);
        GdkPixbuf* pixbuf = loaded ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
        if (!pixbuf) {
            Log::line(std::string("⚠️ Tray icon not rendered at ") + std::to_string(size) +
                      " px: " + (error ? error->message : "no image"));
            if (error)
                g_error_free(error);
            if (!loaded)
                gdk_pixbuf_loader_close(loader, nullptr);
            g_object_unref(loader);
            continue;
        }
        IconPixmap pixmap;
        pixmap.width = gdk_pixbuf_get_width(pixbuf);
        pixmap.height = gdk_pixbuf_get_height(pixbuf);
        const int channels = gdk_pixbuf_get_n_channels(pixbuf);
        const int stride = gdk_pixbuf_get_rowstride(pixbuf);
        const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
        const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
        pixmap.argb.reserve(static_cast<std::size_t>(pixmap.width * pixmap.height * 4));
        for (int y = 0; y < pixmap.height; ++y) {
            for (int x = 0; x < pixmap.width; ++x) {
                const guchar* p = pixels + y * stride + x * channels;
                pixmap.argb.push_back(alpha ? p[3] : 0xff);
                pixmap.argb.push_back(p[0]);
                pixmap.argb.push_back(p[1]);
                pixmap.argb.push_back(p[2]);
            }
        }
        result.push_back(std::move(pixmap));
        g_object_unref(loader);
    }
    return result;
}

} // namespace orvi::platform
