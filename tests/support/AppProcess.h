#pragma once

#include "support/ChildProcess.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
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

} // namespace orvi::test
