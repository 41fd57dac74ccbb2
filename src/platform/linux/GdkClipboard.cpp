#include "platform/linux/GdkClipboard.h"

#include "core/base/Log.h"

#include <gdkmm/clipboard.h>
#include <gdkmm/display.h>

namespace orvi::platform {

void GdkClipboard::setText(const std::string& text) {
    auto display = Gdk::Display::get_default();
    if (!display) {
        logLine("⚠️ No display: the path was not put on the clipboard");
        return;
    }
    display->get_clipboard()->set_text(text);
}

} // namespace orvi::platform
