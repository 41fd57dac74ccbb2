#pragma once

#include "support/ChildProcess.h"

#include <arpa/inet.h>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace orvi::test {

// The application's folders confined to one test folder, so that a run never touches the
// user's own data and two tests never share their files. The session bus is the test
// process's private one, so one test's launch is never handed to another test's instance.
inline std::map<std::string, std::string> confinedAppEnvironment(const std::filesystem::path& root) {
    std::filesystem::create_directories(root / "runtime");
    std::filesystem::permissions(root / "runtime", std::filesystem::perms::owner_all);
    return {{"HOME", (root / "home").string()},
            {"XDG_CONFIG_HOME", (root / "config").string()},
            {"XDG_DATA_HOME", (root / "data").string()},
            {"XDG_CACHE_HOME", (root / "cache").string()},
            {"XDG_RUNTIME_DIR", (root / "runtime").string()},
            {"GSK_RENDERER", "cairo"},
            {"NO_AT_BRIDGE", "1"}};
}

// The imitation service in a process of its own, with the variables that point the
// application at it.
struct ServiceProcess {
    std::unique_ptr<ChildProcess> process;
    std::map<std::string, std::string> environment;
};

// Starts the service; no process when it did not announce where it listens.
inline ServiceProcess startServiceProcess(const std::string& binary, std::vector<std::string> arguments) {
    ServiceProcess service{ChildProcess::start(binary, {std::move(arguments), {}, {}}), {}};
    for (const std::string name : {"ORVI_SERVICE_ENDPOINTS", "ORVI_PROXY"}) {
        const auto line = service.process->waitForLine(
            [&](const std::string& l) { return l.starts_with(name + "="); }, std::chrono::seconds(10));
        if (!line)
            return {};
        service.environment[name] = line->substr(name.size() + 1);
    }
    return service;
}

inline auto startsWith(std::string prefix) {
    return [prefix = std::move(prefix)](const std::string& line) { return line.starts_with(prefix); };
}

// The application with its folders under the root and any extra variables (the service's,
// test switches) on top.
inline std::unique_ptr<ChildProcess> launchApp(const std::filesystem::path& root,
                                               const std::map<std::string, std::string>& extra = {},
                                               std::optional<mode_t> umask = std::nullopt) {
    auto environment = confinedAppEnvironment(root);
    for (const auto& [name, value] : extra)
        environment[name] = value;
    return ChildProcess::start(ORVI_APP_BINARY, {{}, environment, umask});
}

// Activates one of the running application's actions over the session bus, as a desktop
// shell or a user's shortcut would; true when the call went through.
inline bool activateAppAction(const std::string& action, const std::string& parameter = "[]") {
    auto call =
        ChildProcess::start("/usr/bin/gdbus", {{"call", "--session", "--dest", "com.orviwrapper.OrviWrapper",
                                                "--object-path", "/com/orviwrapper/OrviWrapper", "--method",
                                                "org.gtk.Actions.Activate", action, parameter, "{}"},
                                               {},
                                               {}});
    return call->waitForExit(std::chrono::seconds(10)) == 0;
}

// A control page of the service, reached as any client reaches it: a request with an absolute
// target sent to its proxy port, on a plain socket (a GIO proxy resolver would look up the
// desktop's settings). True when the service answered 200.
inline bool askService(const ServiceProcess& service, const std::string& pathAndQuery) {
    const auto& proxy = service.environment.at("ORVI_PROXY");
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::stoi(proxy.substr(proxy.rfind(':') + 1))));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET http://web.orvi.test" + pathAndQuery +
                                    " HTTP/1.1\r\nHost: web.orvi.test\r\nConnection: close\r\n\r\n";
        if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
            char buffer[512];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return answer.starts_with("HTTP/1.1 200");
}

} // namespace orvi::test
