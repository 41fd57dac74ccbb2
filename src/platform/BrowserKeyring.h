#pragma once

#include <optional>
#include <string>

namespace orvi::platform {

// The secret that Chromium-based browsers keep in the desktop keyring to encrypt their
// cookies. May block on D-Bus: call it off the main thread only.
class BrowserKeyring {
public:
    virtual ~BrowserKeyring() = default;

    // The browser's "safe storage" password for `application` ("chromium", "chrome"), or
    // nothing when no keyring answers or it holds no such secret; `why` says which.
    virtual std::optional<std::string> safeStoragePassword(const std::string& application,
                                                           std::string& why) = 0;
};

} // namespace orvi::platform
