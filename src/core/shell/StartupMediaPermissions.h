#pragma once

#include "core/base/Scheduler.h"
#include "core/env/MediaPermissionServiceProtocol.h"

#include <functional>
#include <memory>

namespace orvi {

// Asks for the camera and microphone once the main window has appeared: two seconds later
// the application is brought to the front and, when it is active, the request is made; if
// it is not, one more try follows after two more seconds. Nothing is asked while the user
// has the camera and microphone switched off in the settings.
class StartupMediaPermissions : public std::enable_shared_from_this<StartupMediaPermissions> {
public:
    static constexpr Duration kDelay = std::chrono::seconds(2);

    struct Hooks {
        // Whether "Разрешить микрофон и камеру" is on.
        std::function<bool()> enabled;
        // Brings the application to the front; tells whether it is active now.
        std::function<bool()> activate;
    };

    static std::shared_ptr<StartupMediaPermissions>
    create(Scheduler& scheduler, std::shared_ptr<MediaPermissionServiceProtocol> service, Hooks hooks);

    void windowDidAppear();

private:
    StartupMediaPermissions(Scheduler& scheduler, std::shared_ptr<MediaPermissionServiceProtocol> service,
                            Hooks hooks);
    void firstAttempt();
    void request();

    Scheduler& m_scheduler;
    std::shared_ptr<MediaPermissionServiceProtocol> m_service;
    Hooks m_hooks;
};

} // namespace orvi
