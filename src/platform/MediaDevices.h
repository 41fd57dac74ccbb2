#pragma once

#include <functional>
#include <string>

namespace orvi::platform {

enum class MediaKind { camera, microphone };

// The desktop's control over the camera and the microphone. Statuses keep the raw values
// the service logs: 0 not determined, 1 restricted, 2 denied, 3 authorized.
class MediaDevices {
public:
    static constexpr int kNotDetermined = 0;
    static constexpr int kRestricted = 1;
    static constexpr int kDenied = 2;
    static constexpr int kAuthorized = 3;

    virtual ~MediaDevices() = default;

    virtual int authorizationStatus(MediaKind kind) = 0;
    // The platform's own words for a status, for log lines.
    virtual std::string statusDescription(int status) = 0;
    // Asks for access; the completion runs exactly once, on any thread.
    virtual void requestAccess(MediaKind kind, std::function<void(bool granted)> completion) = 0;
};

} // namespace orvi::platform
