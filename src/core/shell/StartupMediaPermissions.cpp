#include "core/shell/StartupMediaPermissions.h"

#include "core/base/Log.h"

namespace orvi {

std::shared_ptr<StartupMediaPermissions>
StartupMediaPermissions::create(Scheduler& scheduler, std::shared_ptr<MediaPermissionServiceProtocol> service,
                                Hooks hooks) {
    return std::shared_ptr<StartupMediaPermissions>(
        new StartupMediaPermissions(scheduler, std::move(service), std::move(hooks)));
}

StartupMediaPermissions::StartupMediaPermissions(Scheduler& scheduler,
                                                 std::shared_ptr<MediaPermissionServiceProtocol> service,
                                                 Hooks hooks)
    : m_scheduler(scheduler), m_service(std::move(service)), m_hooks(std::move(hooks)) {}

void StartupMediaPermissions::windowDidAppear() {
    std::weak_ptr<StartupMediaPermissions> weakSelf = weak_from_this();
    m_scheduler.postAfter(kDelay, [weakSelf] {
        if (auto self = weakSelf.lock())
            self->firstAttempt();
    });
}

void StartupMediaPermissions::firstAttempt() {
    if (!m_hooks.enabled || !m_hooks.enabled()) {
        logLine("ℹ️ Camera and microphone are switched off in the settings, not requesting media "
                "permissions");
        return;
    }
    if (m_hooks.activate && m_hooks.activate()) {
        logLine("🔐 Application is active, requesting media permissions...");
        request();
        return;
    }
    logLine("⚠️ Application is not active, waiting...");
    std::weak_ptr<StartupMediaPermissions> weakSelf = weak_from_this();
    m_scheduler.postAfter(kDelay, [weakSelf] {
        auto self = weakSelf.lock();
        if (!self)
            return;
        if (self->m_hooks.activate)
            self->m_hooks.activate();
        logLine("🔐 Requesting media permissions (retry)...");
        self->request();
    });
}

void StartupMediaPermissions::request() {
    m_service->requestAllMediaPermissions([](bool camera, bool microphone) {
        const std::string cameraText = camera ? "true" : "false";
        const std::string microphoneText = microphone ? "true" : "false";
        logLine("📊 Media permissions result: camera=" + cameraText + ", microphone=" + microphoneText);
        if (camera && microphone) {
            logLine("✅ Media permissions granted: camera and microphone");
            return;
        }
        logLine("⚠️ Media permissions: camera=" + cameraText + ", microphone=" + microphoneText);
        logLine("💡 You can grant permissions in the desktop's Privacy settings → Camera/Microphone");
    });
}

} // namespace orvi
