#include "core/env/VPNDetectionService.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <mutex>
#include <string>

namespace orvi {

namespace {

// Shared between the waiting thread and the monitor's handler, which may still run after
// the wait gave up.
struct PathAnswer {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool vpn = false;
};

} // namespace

VPNDetectionService::VPNDetectionService(std::shared_ptr<const platform::NetworkEnvironment> environment,
                                         Scheduler& scheduler, Duration pathWait)
    : m_environment(std::move(environment)), m_scheduler(scheduler), m_pathWait(pathWait) {}

bool VPNDetectionService::isTunnelName(std::string_view interfaceName) {
    std::string lower(interfaceName);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::any_of(kTunnelMarkers.begin(), kTunnelMarkers.end(),
                       [&](std::string_view marker) { return lower.find(marker) != std::string::npos; });
}

bool VPNDetectionService::detect(const platform::NetworkEnvironment& environment, Duration pathWait) {
    if (auto names = environment.interfaceNames()) {
        if (std::any_of(names->begin(), names->end(),
                        [](const std::string& name) { return isTunnelName(name); }))
            return true;
    }

    auto answer = std::make_shared<PathAnswer>();
    auto monitor = environment.makePathMonitor();
    monitor->start([answer](const platform::NetworkPath& path) {
        bool vpn = false;
        if (path.satisfied)
            vpn = std::any_of(path.availableInterfaces.begin(), path.availableInterfaces.end(),
                              [](const std::string& name) { return isTunnelName(name); });
        std::lock_guard lock(answer->mutex);
        if (answer->done)
            return;
        answer->done = true;
        answer->vpn = vpn;
        answer->answered.notify_all();
    });

    std::unique_lock lock(answer->mutex);
    answer->answered.wait_for(lock, pathWait, [&] { return answer->done; });
    const bool vpn = answer->vpn;
    // A monitor that answered late is not listened to; a timely one is no longer needed.
    answer->done = true;
    lock.unlock();
    monitor->cancel();
    return vpn;
}

bool VPNDetectionService::isVPNEnabled() {
    return detect(*m_environment, m_pathWait);
}

void VPNDetectionService::checkVPNStatus(std::function<void(bool)> completion) {
    auto environment = m_environment;
    const auto pathWait = m_pathWait;
    m_scheduler.runInBackground<bool>([environment, pathWait] { return detect(*environment, pathWait); },
                                      std::move(completion));
}

} // namespace orvi
