#include "core/env/MediaPermissionService.h"

#include "core/base/Log.h"
#include "core/base/TextFolding.h"
#include "core/session/OnceCompletion.h"

namespace orvi {

using platform::MediaDevices;
using platform::MediaKind;

std::shared_ptr<MediaPermissionService> MediaPermissionService::create(std::shared_ptr<MediaDevices> devices,
                                                                       const platform::ApplicationInfo& info,
                                                                       Scheduler& scheduler) {
    return std::shared_ptr<MediaPermissionService>(
        new MediaPermissionService(std::move(devices), info, scheduler));
}

MediaPermissionService::MediaPermissionService(std::shared_ptr<MediaDevices> devices,
                                               const platform::ApplicationInfo& info, Scheduler& scheduler)
    : m_devices(std::move(devices)), m_info(info), m_scheduler(scheduler) {}

int MediaPermissionService::checkCameraPermission() {
    return m_devices->authorizationStatus(MediaKind::camera);
}

int MediaPermissionService::checkMicrophonePermission() {
    return m_devices->authorizationStatus(MediaKind::microphone);
}

std::string MediaPermissionService::statusText(int status) {
    return std::to_string(status) + " (" + m_devices->statusDescription(status) + ")";
}

void MediaPermissionService::requestCameraPermission(std::function<void(bool granted)> completion) {
    logLine("📷 Camera authorization status: " + statusText(checkCameraPermission()));
    logLine("📷 Requesting camera access to ensure TCC registration...");
    auto devices = m_devices;
    auto& scheduler = m_scheduler;
    OnceCompletion<bool> done(m_scheduler, std::move(completion), false);
    m_devices->requestAccess(MediaKind::camera, [devices, &scheduler, done](bool granted) {
        scheduler.post([devices, done, granted] {
            logLine(std::string("📷 Camera permission request completed: ") +
                    (granted ? "granted" : "denied") + ", new status: " +
                    devices->statusDescription(devices->authorizationStatus(MediaKind::camera)));
            done(granted);
        });
    });
}

void MediaPermissionService::requestMicrophonePermission(std::function<void(bool granted)> completion) {
    const int before = checkMicrophonePermission();
    logLine("🎤 Microphone authorization status BEFORE: " + statusText(before));
    const auto description = m_info.value("NSMicrophoneUsageDescription");
    if (!description || !description->is_string()) {
        logLine("❌ NSMicrophoneUsageDescription MISSING! This will prevent permission dialog!");
        logLine("💡 Check: INFOPLIST_KEY_NSMicrophoneUsageDescription in Xcode build settings");
        completion(false);
        return;
    }
    logLine("✅ NSMicrophoneUsageDescription found: " +
            text::prefixCharacters(description->get<std::string>(), 80) + "...");
    logLine("🎤 Calling AVCaptureDevice.requestAccess(for: .audio)...");
    auto devices = m_devices;
    auto& scheduler = m_scheduler;
    const auto identifier = m_info.identifier().value_or("");
    OnceCompletion<bool> done(m_scheduler, std::move(completion), false);
    m_devices->requestAccess(
        MediaKind::microphone, [devices, &scheduler, done, before, identifier](bool granted) {
            const int after = devices->authorizationStatus(MediaKind::microphone);
            scheduler.post([devices, done, granted, before, after, identifier] {
                logLine(std::string("🎤 Microphone request result: ") + (granted ? "granted" : "denied"));
                logLine("🎤 Microphone authorization status AFTER: " + std::to_string(after) + " (" +
                        devices->statusDescription(after) + ")");
                if (!granted && before == MediaDevices::kNotDetermined) {
                    logLine("⚠️ Request returned denied without showing dialog!");
                    logLine("💡 Check entitlements and Info.plist keys. Try: tccutil reset Microphone " +
                            identifier);
                }
                done(granted);
            });
        });
}

void MediaPermissionService::requestAllMediaPermissions(
    std::function<void(bool camera, bool microphone)> completion) {
    const int camera = checkCameraPermission();
    const int microphone = checkMicrophonePermission();
    logLine("🔐 Current statuses: camera=" + std::to_string(camera) +
            ", microphone=" + std::to_string(microphone));
    OnceCompletion<bool, bool> done(m_scheduler, std::move(completion), false, false);
    if (camera == MediaDevices::kAuthorized) {
        logLine("📷 Camera already authorized, requesting microphone only...");
        requestMicrophonePermission([done](bool granted) { done(true, granted); });
        return;
    }
    if (microphone == MediaDevices::kAuthorized) {
        logLine("🎤 Microphone already authorized, requesting camera only...");
        requestCameraPermission([done](bool granted) { done(granted, true); });
        return;
    }
    logLine("🔐 Requesting camera permission first...");
    std::weak_ptr<MediaPermissionService> weakSelf = weak_from_this();
    requestCameraPermission([weakSelf, done](bool cameraGranted) {
        auto self = weakSelf.lock();
        if (!self) {
            done(false, false);
            return;
        }
        self->m_scheduler.postAfter(kMicrophoneDelay, [weakSelf, done, cameraGranted] {
            auto self = weakSelf.lock();
            if (!self) {
                done(cameraGranted, false);
                return;
            }
            logLine("🔐 Requesting microphone permission after camera (2s delay)...");
            self->requestMicrophonePermission(
                [done, cameraGranted](bool granted) { done(cameraGranted, granted); });
        });
    });
}

} // namespace orvi
