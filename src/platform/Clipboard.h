#pragma once

#include <string>

namespace orvi::platform {

// The desktop's clipboard. Main thread only.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Replaces whatever the clipboard held with plain text.
    virtual void setText(const std::string& text) = 0;
};

} // namespace orvi::platform
