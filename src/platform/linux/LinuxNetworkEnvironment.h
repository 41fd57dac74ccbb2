#pragma once

#include "platform/NetworkEnvironment.h"

#include <string>

typedef struct _GNetworkMonitor GNetworkMonitor;

namespace orvi::platform {

// Interface names from getifaddrs; the path is the interfaces carrying a default route
// (IPv4 and IPv6 routing tables in /proc) with GNetworkMonitor's availability as "satisfied".
class LinuxNetworkEnvironment final : public NetworkEnvironment {
public:
    // Must be made on the main thread: the network monitor is created there once.
    LinuxNetworkEnvironment();
    // For tests: other routing tables; no network monitor means the network counts as available.
    LinuxNetworkEnvironment(std::string ipv4RouteFile, std::string ipv6RouteFile, GNetworkMonitor* monitor);

    std::optional<std::vector<std::string>> interfaceNames() const override;
    std::unique_ptr<NetworkPathMonitor> makePathMonitor() const override;

    NetworkPath currentPath() const;
    static std::vector<std::string> defaultRouteInterfaces(const std::string& ipv4RouteText,
                                                           const std::string& ipv6RouteText);

private:
    std::string m_ipv4RouteFile;
    std::string m_ipv6RouteFile;
    GNetworkMonitor* m_monitor = nullptr;
};

} // namespace orvi::platform
