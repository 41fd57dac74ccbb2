// Memory kept by profile switches: the real application against the imitation service with
// three logged-in profiles, switched round 200 times through the application's own action
// (the one Ctrl+1/2/3 is bound to), one switch every 0.35 s. Prints how much the resident set
// (of the application and every web process it started) and the proportional set grew over
// the switches. The row with argument 0 spends the same time without switching: the live
// pages grow on their own, and only the difference between the rows is the switches' cost.
// ORVI_BENCH_APP runs another build of the application in the same conditions, to compare.
// Run under xvfb-run, like the integration tests; the benchmark brings its own session bus.
#include "ProcessTree.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::TempDir;

namespace {

constexpr int kSwitchTurns = 200;
// About the pace of a person going through the profiles with the keyboard, and more than
// the model's switch guard, so that every switch really takes place.
constexpr auto kSwitchPace = 350ms;

// The field of smaps_rollup ("Rss", "Pss") in MB, summed over the processes.
double memoryMB(const std::vector<int>& pids, const std::string& field) {
    double kilobytes = 0;
    for (int pid : pids) {
        std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
        for (std::string line; std::getline(rollup, line);)
            if (line.starts_with(field + ":"))
                kilobytes += std::stod(line.substr(field.size() + 1));
    }
    return kilobytes / 1024;
}

struct Sample {
    double appRss;
    double totalRss;
    double totalPss;
};

Sample sample(int appPid) {
    const auto tree = orvi::bench::processTree(appPid);
    return Sample{memoryMB({appPid}, "Rss"), memoryMB(tree, "Rss"), memoryMB(tree, "Pss")};
}

// Reads whatever a process wrote, so that a full pipe never stalls it, for about `time`.
void drain(ChildProcess& process, std::chrono::milliseconds time) {
    process.waitForLine([](const std::string&) { return false; }, time);
}

bool isLoggedInRequest(const std::string& line) {
    return line.starts_with("REQUEST GET web.orvi.test/api/");
}

void ProfileSwitchMemory(benchmark::State& state) {
    const char* override = std::getenv("ORVI_BENCH_APP");
    const std::string binary = override && *override ? override : ORVI_APP_BINARY;
    const bool switching = state.range(0) == 1;
    for (auto _ : state) {
        TempDir dir;
        auto bus = ChildProcess::start("/usr/bin/dbus-daemon",
                                       {{"--session", "--nofork", "--print-address=1"}, {}, {}});
        const auto address =
            bus->waitForLine([](const std::string& l) { return l.starts_with("unix:"); }, 10s);
        auto service = ChildProcess::start(ORVI_IMITATION_SERVICE_BINARY,
                                           {{"0", "--auto-login", "--log-requests"}, {}, {}});
        const auto proxy =
            service->waitForLine([](const std::string& l) { return l.starts_with("ORVI_PROXY="); }, 10s);
        std::string endpoints;
        for (const auto& line : service->lines())
            if (line.starts_with("ORVI_SERVICE_ENDPOINTS="))
                endpoints = line.substr(23);
        if (!address || !proxy || endpoints.empty()) {
            state.SkipWithError("no session bus or imitation service");
            return;
        }
        std::filesystem::create_directories(dir.path() / "runtime");
        std::filesystem::permissions(dir.path() / "runtime", std::filesystem::perms::owner_all);
        // The application picks its renderer as on a person's desktop; the runner's own choice
        // for its windows is not passed on.
        const char* runnerRenderer = std::getenv("GSK_RENDERER");
        const std::optional<std::string> savedRenderer =
            runnerRenderer ? std::optional<std::string>(runnerRenderer) : std::nullopt;
        unsetenv("GSK_RENDERER");
        auto app = ChildProcess::start(binary, {{},
                                                {{"HOME", (dir.path() / "home").string()},
                                                 {"XDG_CONFIG_HOME", (dir.path() / "config").string()},
                                                 {"XDG_DATA_HOME", (dir.path() / "data").string()},
                                                 {"XDG_CACHE_HOME", (dir.path() / "cache").string()},
                                                 {"XDG_RUNTIME_DIR", (dir.path() / "runtime").string()},
                                                 {"DBUS_SESSION_BUS_ADDRESS", *address},
                                                 {"NO_AT_BRIDGE", "1"},
                                                 {"ORVI_PROXY", proxy->substr(11)},
                                                 {"ORVI_SERVICE_ENDPOINTS", endpoints},
                                                 {"ORVI_TEST_SCREENS", "1"}},
                                                {}});
        if (savedRenderer)
            setenv("GSK_RENDERER", savedRenderer->c_str(), 1);
        auto activate = [&](const std::string& action, const std::string& parameter) {
            auto call = ChildProcess::start("/usr/bin/gdbus",
                                            {{"call", "--session", "--dest", "com.orviwrapper.OrviWrapper",
                                              "--object-path", "/com/orviwrapper/OrviWrapper", "--method",
                                              "org.gtk.Actions.Activate", action, parameter, "{}"},
                                             {{"DBUS_SESSION_BUS_ADDRESS", *address}},
                                             {}});
            return call->waitForExit(10s) == 0;
        };

        if (!service->waitForLine(isLoggedInRequest, 90s)) {
            state.SkipWithError("the first profile never logged in");
            return;
        }
        for (const std::string name : {"Второй", "Третий"}) {
            activate("profiles", "[]");
            activate("test-screen", "[<'add'>]");
            activate("test-screen", "[<'form-name:" + name + "'>]");
            activate("test-screen", "[<'form-save'>]");
            activate("test-screen", "[<'close'>]");
        }
        for (const int position : {2, 3}) {
            activate("switch-profile", "[<" + std::to_string(position) + ">]");
            drain(*app, 100ms);
            if (!service->waitForLine(isLoggedInRequest, 60s)) {
                state.SkipWithError("an added profile never logged in");
                return;
            }
        }
        activate("switch-profile", "[<1>]");
        drain(*app, 3s);
        drain(*service, 0ms);
        const auto before = sample(app->pid());

        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kSwitchTurns; ++i) {
            const auto asked = std::chrono::steady_clock::now();
            if (switching && !activate("switch-profile", "[<" + std::to_string(i % 3 + 1) + ">]")) {
                state.SkipWithError("the switch action failed");
                return;
            }
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - asked);
            drain(*app, std::max(0ms, kSwitchPace - spent));
            drain(*service, 0ms);
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        drain(*app, 3s);
        const auto after = sample(app->pid());

        state.counters["switches"] = switching ? kSwitchTurns : 0;
        state.counters["app_rss_before_MB"] = before.appRss;
        state.counters["app_rss_growth_MB"] = after.appRss - before.appRss;
        state.counters["total_rss_growth_MB"] = after.totalRss - before.totalRss;
        state.counters["total_pss_before_MB"] = before.totalPss;
        state.counters["total_pss_growth_MB"] = after.totalPss - before.totalPss;
        app->sendSignal(SIGTERM);
        app->waitForExit(15s);
        service->sendSignal(SIGTERM);
        service->waitForExit(5s);
        bus->sendSignal(SIGTERM);
    }
}
// Without switches, the same time with the same three live pages: what the pages grow by on
// their own, to be told apart from what the switches add.
BENCHMARK(ProfileSwitchMemory)->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
