#pragma once

#include "platform/UriLauncher.h"

namespace orvi::platform {

// GLib picks the OpenURI portal by itself inside a Flatpak sandbox and the desktop's default
// handler outside, so one call serves both.
class GioUriLauncher final : public UriLauncher {
public:
    void launch(const std::string& uri) override;
};

} // namespace orvi::platform
