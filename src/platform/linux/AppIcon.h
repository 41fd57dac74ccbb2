#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvi::platform {

// One size of an icon in the StatusNotifierItem pixmap form: ARGB32, network byte order.
struct IconPixmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> argb;
};

// The application icon compiled into the binary, so the tray shows it even when no icon
// theme has it installed.
class AppIcon {
public:
    static const std::string& svg();
    // Renders the icon at each size; a size the renderer fails on is left out.
    static std::vector<IconPixmap> pixmaps(const std::vector<int>& sizes);
};

} // namespace orvi::platform
