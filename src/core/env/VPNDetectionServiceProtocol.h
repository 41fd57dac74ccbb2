#pragma once

#include <functional>

namespace orvi {

class VPNDetectionServiceProtocol {
public:
    virtual ~VPNDetectionServiceProtocol() = default;

    // Detects in the background; the completion runs once on the main queue.
    virtual void checkVPNStatus(std::function<void(bool isVPNEnabled)> completion) = 0;
    // Detects on the calling thread; may block for about half a second.
    virtual bool isVPNEnabled() = 0;
};

} // namespace orvi
