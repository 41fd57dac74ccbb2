#pragma once

#include "support/ChildProcess.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace orvi::test {

// The application's folders confined to one test folder, so that a run never touches the
// user's own data and two tests never share their files.
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

// A session bus of the test's own, so that the single-instance rule of one test's
// application never hands its launch to another test's running instance. The address is
// empty when the daemon did not start.
struct SessionBusDaemon {
    SessionBusDaemon()
        : process(
              ChildProcess::start("/usr/bin/dbus-daemon", {{"--session", "--nofork", "--print-address=1"}})) {
        if (auto line = process->waitForLine([](const std::string& l) { return l.starts_with("unix:"); },
                                             std::chrono::seconds(10)))
            address = *line;
    }

    std::unique_ptr<ChildProcess> process;
    std::string address;
};

} // namespace orvi::test
