#pragma once

#include "core/base/Scheduler.h"
#include "core/env/VPNDetectionServiceProtocol.h"
#include "platform/NetworkEnvironment.h"

#include <array>
#include <memory>
#include <string_view>

namespace orvi {

// Tells whether a VPN is active by looking for tunnel-like interface names: first among all
// interfaces, then among those carrying the current default route.
class VPNDetectionService final : public VPNDetectionServiceProtocol {
public:
    // Linux tunnels are usually tun, tap, ppp or WireGuard's wg.
    static constexpr std::array<std::string_view, 6> kTunnelMarkers = {"vpn",  "tun", "tap",
                                                                       "utun", "ppp", "wg"};
    static constexpr Duration kPathWait = std::chrono::milliseconds(500);

    VPNDetectionService(std::shared_ptr<const platform::NetworkEnvironment> environment, Scheduler& scheduler,
                        Duration pathWait = kPathWait);

    void checkVPNStatus(std::function<void(bool)> completion) override;
    bool isVPNEnabled() override;

    static bool isTunnelName(std::string_view interfaceName);

private:
    static bool detect(const platform::NetworkEnvironment& environment, Duration pathWait);

    std::shared_ptr<const platform::NetworkEnvironment> m_environment;
    Scheduler& m_scheduler;
    Duration m_pathWait;
};

} // namespace orvi
