#pragma once

#include <string>

namespace orvi::platform {

// Hands an address to the user's default browser. Main thread only; never blocks: whether
// the browser started is only logged.
class UriLauncher {
public:
    virtual ~UriLauncher() = default;

    virtual void launch(const std::string& uri) = 0;
};

} // namespace orvi::platform
