#pragma once

#include "core/base/Signal.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvi::platform {

// The network path the machine uses now: whether the network is usable ("satisfied") and
// the interfaces that carry its default route.
struct NetworkPath {
    bool satisfied = false;
    std::vector<std::string> availableInterfaces;
};

// Watches the current path. start() may deliver from any thread, at most once per start;
// after cancel() nothing more is delivered.
class NetworkPathMonitor {
public:
    virtual ~NetworkPathMonitor() = default;

    virtual void start(std::function<void(const NetworkPath&)> handler) = 0;
    virtual void cancel() = 0;
};

// The machine's network facts. Safe to call from a background thread.
class NetworkEnvironment {
public:
    virtual ~NetworkEnvironment() = default;

    // Every network interface's name, each once, in the system's order; none when the list
    // cannot be read.
    virtual std::optional<std::vector<std::string>> interfaceNames() const = 0;
    virtual std::unique_ptr<NetworkPathMonitor> makePathMonitor() const = 0;
    // Tells the slot, on the main thread, each time the network becomes usable again after
    // it was not.
    [[nodiscard]] virtual Connection subscribeToNetworkBack(std::function<void()> slot) const = 0;
};

} // namespace orvi::platform
