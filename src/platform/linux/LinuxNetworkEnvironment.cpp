#include "platform/linux/LinuxNetworkEnvironment.h"

#include <algorithm>
#include <fstream>
#include <gio/gio.h>
#include <ifaddrs.h>
#include <sstream>

namespace orvi::platform {

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void addOnce(std::vector<std::string>& names, const std::string& name) {
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

// The path comes from two small /proc files and a flag kept by the main thread: nothing
// here can stall, so it is answered on the caller's thread and no thread outlives a caller.
class LinuxPathMonitor final : public NetworkPathMonitor {
public:
    explicit LinuxPathMonitor(const LinuxNetworkEnvironment& environment) : m_environment(environment) {}

    void start(std::function<void(const NetworkPath&)> handler) override {
        if (!m_cancelled)
            handler(m_environment.currentPath());
    }
    void cancel() override { m_cancelled = true; }

private:
    const LinuxNetworkEnvironment& m_environment;
    bool m_cancelled = false;
};

} // namespace

LinuxNetworkEnvironment::LinuxNetworkEnvironment()
    : LinuxNetworkEnvironment("/proc/net/route", "/proc/net/ipv6_route", g_network_monitor_get_default()) {}

LinuxNetworkEnvironment::LinuxNetworkEnvironment(std::string ipv4RouteFile, std::string ipv6RouteFile,
                                                 GNetworkMonitor* monitor)
    : m_ipv4RouteFile(std::move(ipv4RouteFile)), m_ipv6RouteFile(std::move(ipv6RouteFile)),
      m_monitor(monitor) {
    if (!m_monitor)
        return;
    m_availability->available.store(g_network_monitor_get_network_available(m_monitor));
    // The handler holds the state itself, so it is safe even if delivered late. The monitor
    // reports on the main thread, where the slots live.
    using Shared = std::shared_ptr<Availability>;
    m_changedHandler = g_signal_connect_data(
        m_monitor, "network-changed", G_CALLBACK(+[](GNetworkMonitor*, gboolean available, gpointer data) {
            auto& state = **static_cast<Shared*>(data);
            if (!state.available.exchange(available) && available)
                state.back.emit();
        }),
        new Shared(m_availability), [](gpointer data, GClosure*) { delete static_cast<Shared*>(data); },
        GConnectFlags(0));
}

LinuxNetworkEnvironment::~LinuxNetworkEnvironment() {
    if (m_monitor && m_changedHandler)
        g_signal_handler_disconnect(m_monitor, m_changedHandler);
}

std::optional<std::vector<std::string>> LinuxNetworkEnvironment::interfaceNames() const {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    std::vector<std::string> names;
    for (auto* entry = list; entry; entry = entry->ifa_next) {
        if (entry->ifa_name)
            addOnce(names, entry->ifa_name);
    }
    freeifaddrs(list);
    return names;
}

std::vector<std::string> LinuxNetworkEnvironment::defaultRouteInterfaces(const std::string& ipv4RouteText,
                                                                         const std::string& ipv6RouteText) {
    std::vector<std::string> names;
    // /proc/net/route: Iface Destination Gateway Flags ...; a default route has destination
    // 00000000 and the RTF_UP flag.
    std::istringstream ipv4(ipv4RouteText);
    std::string line;
    std::getline(ipv4, line);
    while (std::getline(ipv4, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags;
        if (!(fields >> iface >> destination >> gateway >> flags))
            continue;
        const unsigned long flagBits = std::strtoul(flags.c_str(), nullptr, 16);
        if (destination == "00000000" && (flagBits & 0x1))
            addOnce(names, iface);
    }
    // /proc/net/ipv6_route: dest prefix src srcprefix nexthop metric refcnt use flags iface.
    std::istringstream ipv6(ipv6RouteText);
    while (std::getline(ipv6, line)) {
        std::istringstream fields(line);
        std::string destination, prefix, source, sourcePrefix, nextHop, metric, refCount, use, flags, iface;
        if (!(fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >> refCount >>
              use >> flags >> iface))
            continue;
        const unsigned long flagBits = std::strtoul(flags.c_str(), nullptr, 16);
        if (destination == std::string(32, '0') && prefix == "00" && (flagBits & 0x1) && iface != "lo")
            addOnce(names, iface);
    }
    return names;
}

NetworkPath LinuxNetworkEnvironment::currentPath() const {
    NetworkPath path;
    path.satisfied = m_availability->available.load();
    path.availableInterfaces = defaultRouteInterfaces(readFile(m_ipv4RouteFile), readFile(m_ipv6RouteFile));
    return path;
}

Connection LinuxNetworkEnvironment::subscribeToNetworkBack(std::function<void()> slot) const {
    return m_availability->back.connect([slot = std::move(slot)] { slot(); });
}

std::unique_ptr<NetworkPathMonitor> LinuxNetworkEnvironment::makePathMonitor() const {
    return std::make_unique<LinuxPathMonitor>(*this);
}

} // namespace orvi::platform
