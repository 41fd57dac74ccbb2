#pragma once

#include "platform/NetworkEnvironment.h"

#include <atomic>
#include <memory>
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
    ~LinuxNetworkEnvironment() override;
    LinuxNetworkEnvironment(const LinuxNetworkEnvironment&) = delete;
    LinuxNetworkEnvironment& operator=(const LinuxNetworkEnvironment&) = delete;

    std::optional<std::vector<std::string>> interfaceNames() const override;
    std::unique_ptr<NetworkPathMonitor> makePathMonitor() const override;
    Connection subscribeToNetworkBack(std::function<void()> slot) const override;

    NetworkPath currentPath() const;
    static std::vector<std::string> defaultRouteInterfaces(const std::string& ipv4RouteText,
                                                           const std::string& ipv6RouteText);

private:
    std::string m_ipv4RouteFile;
    std::string m_ipv6RouteFile;
    GNetworkMonitor* m_monitor = nullptr;
    // The monitor is a main-thread object: its answer is kept here, read and refreshed on
    // the main thread, and only this copy is read by the background probe.
    struct Availability {
        std::atomic<bool> available{true};
        Signal<> back;
    };
    std::shared_ptr<Availability> m_availability = std::make_shared<Availability>();
    unsigned long m_changedHandler = 0;
};

} // namespace orvi::platform
