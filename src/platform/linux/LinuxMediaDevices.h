#pragma once

#include "platform/MediaDevices.h"

namespace orvi::platform {

// The camera through the desktop portal's Camera interface when a portal offers it; without
// one, a device counts as authorized when it exists (/dev/video*, an audio capture device or
// a sound server), as nothing else stands between the application and it. Main thread.
class LinuxMediaDevices final : public MediaDevices {
public:
    int authorizationStatus(MediaKind kind) override;
    std::string statusDescription(int status) override;
    void requestAccess(MediaKind kind, std::function<void(bool granted)> completion) override;

private:
    bool cameraPortalPresent();
    static bool deviceExists(MediaKind kind);

    int m_portalAnswer = kNotDetermined;
};

} // namespace orvi::platform
