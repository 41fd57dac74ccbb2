#pragma once

#include <functional>

namespace orvi {

class MediaPermissionServiceProtocol {
public:
    virtual ~MediaPermissionServiceProtocol() = default;

    // Every completion runs exactly once, on the main queue.
    virtual void requestCameraPermission(std::function<void(bool granted)> completion) = 0;
    virtual void requestMicrophonePermission(std::function<void(bool granted)> completion) = 0;
    virtual void requestAllMediaPermissions(std::function<void(bool camera, bool microphone)> completion) = 0;
};

} // namespace orvi
