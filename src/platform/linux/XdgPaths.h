#pragma once

#include "platform/Paths.h"

namespace orvi::platform {

// The folders from the XDG variables as GLib reads them; the documents and download
// folders fall back to $HOME when the user has none configured.
Paths makeXdgPaths();

} // namespace orvi::platform
