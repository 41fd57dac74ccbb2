#pragma once

#include "core/base/Scheduler.h"
#include "core/env/MediaPermissionServiceProtocol.h"
#include "platform/ApplicationInfo.h"
#include "platform/MediaDevices.h"

#include <memory>

namespace orvi {

// Obtains the user's consent for the camera and then, two seconds after the camera's
// answer, the microphone, skipping what is already granted, and leaves a trail in the log.
class MediaPermissionService final : public MediaPermissionServiceProtocol,
                                     public std::enable_shared_from_this<MediaPermissionService> {
public:
    static constexpr Duration kMicrophoneDelay = std::chrono::seconds(2);

    static std::shared_ptr<MediaPermissionService> create(std::shared_ptr<platform::MediaDevices> devices,
                                                          const platform::ApplicationInfo& info,
                                                          Scheduler& scheduler);

    int checkCameraPermission();
    int checkMicrophonePermission();

    void requestCameraPermission(std::function<void(bool granted)> completion) override;
    void requestMicrophonePermission(std::function<void(bool granted)> completion) override;
    void requestAllMediaPermissions(std::function<void(bool camera, bool microphone)> completion) override;

private:
    MediaPermissionService(std::shared_ptr<platform::MediaDevices> devices,
                           const platform::ApplicationInfo& info, Scheduler& scheduler);
    std::string statusText(int status);

    std::shared_ptr<platform::MediaDevices> m_devices;
    const platform::ApplicationInfo& m_info;
    Scheduler& m_scheduler;
};

} // namespace orvi
