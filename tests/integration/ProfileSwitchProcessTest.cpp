#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::TempDir;

namespace {

// A request line of the imitation service: "REQUEST GET <host>/ cookies=... session=<value>".
struct PageRequest {
    std::string session;
};

std::optional<PageRequest> pageRequest(const std::string& line) {
    if (!line.starts_with("REQUEST GET ") || line.find("/ cookies=") == std::string::npos)
        return std::nullopt;
    const auto session = line.find(" session=");
    return PageRequest{session == std::string::npos ? "" : line.substr(session + 9)};
}

} // namespace

// Two profiles of the real application against the imitation service: a profile added from
// the profiles screen logs in on its own, and switching between the two never lets one
// profile's session reach the other's page.
TEST(ProfileSwitchProcess, EachProfileOpensItsPageWithItsOwnSessionOnly) {
    TempDir dir;
    auto bus =
        ChildProcess::start("/usr/bin/dbus-daemon", {{"--session", "--nofork", "--print-address=1"}, {}, {}});
    const auto address = bus->waitForLine([](const std::string& l) { return l.starts_with("unix:"); }, 10s);
    ASSERT_TRUE(address);
    auto service =
        ChildProcess::start(ORVI_IMITATION_SERVICE_BINARY, {{"0", "--auto-login", "--log-sessions"}, {}, {}});
    const auto proxy =
        service->waitForLine([](const std::string& l) { return l.starts_with("ORVI_PROXY="); }, 10s);
    ASSERT_TRUE(proxy);
    std::string endpoints;
    for (const auto& line : service->lines())
        if (line.starts_with("ORVI_SERVICE_ENDPOINTS="))
            endpoints = line.substr(23);

    std::filesystem::create_directories(dir.path() / "runtime");
    std::filesystem::permissions(dir.path() / "runtime", std::filesystem::perms::owner_all);
    const std::map<std::string, std::string> environment{
        {"HOME", (dir.path() / "home").string()},
        {"XDG_CONFIG_HOME", (dir.path() / "config").string()},
        {"XDG_DATA_HOME", (dir.path() / "data").string()},
        {"XDG_CACHE_HOME", (dir.path() / "cache").string()},
        {"XDG_RUNTIME_DIR", (dir.path() / "runtime").string()},
        {"DBUS_SESSION_BUS_ADDRESS", *address},
        {"GSK_RENDERER", "cairo"},
        {"NO_AT_BRIDGE", "1"},
        {"ORVI_PROXY", proxy->substr(11)},
        {"ORVI_SERVICE_ENDPOINTS", endpoints},
        {"ORVI_TEST_SCREENS", "1"}};
    auto app = ChildProcess::start(ORVI_APP_BINARY, {{}, environment, {}});

    auto activate = [&](const std::string& action, const std::string& parameter) {
        auto call = ChildProcess::start("/usr/bin/gdbus",
                                        {{"call", "--session", "--dest", "com.orviwrapper.OrviWrapper",
                                          "--object-path", "/com/orviwrapper/OrviWrapper", "--method",
                                          "org.gtk.Actions.Activate", action, parameter, "{}"},
                                         {{"DBUS_SESSION_BUS_ADDRESS", *address}},
                                         {}});
        EXPECT_EQ(call->waitForExit(10s), 0) << action << " " << parameter;
    };
    // The service's lines are read in order: each wait starts after the line the last one found.
    auto nextPageRequest = [&](bool withSession) -> std::optional<PageRequest> {
        const auto line = service->waitForLine(
            [&](const std::string& l) {
                const auto request = pageRequest(l);
                return request && (!withSession || !request->session.empty());
            },
            20s);
        return line ? pageRequest(*line) : std::nullopt;
    };

    const auto main = nextPageRequest(true);
    ASSERT_TRUE(main) << "the first profile logs in";

    activate("profiles", "[]");
    activate("test-screen", "[<'add'>]");
    activate("test-screen", "[<'form-name:Второй'>]");
    activate("test-screen", "[<'form-save'>]");
    activate("test-screen", "[<'close'>]");
    activate("switch-profile", "[<2>]");
    const auto secondFirst = nextPageRequest(false);
    ASSERT_TRUE(secondFirst) << "the added profile opens its page";
    EXPECT_EQ(secondFirst->session, "") << "a new profile starts without the first one's session";
    const auto second = nextPageRequest(true);
    ASSERT_TRUE(second) << "the added profile logs in";
    EXPECT_NE(second->session, main->session);

    // The first profile's cached page comes back as it was left; reloading it (Ctrl+R) asks
    // the service again, and must do so as the first profile.
    activate("switch-profile", "[<1>]");
    app->waitForLine([](const std::string& l) { return l.starts_with("ℹ️ WebView already loaded"); },
                     10s);
    activate("reload", "[]");
    const auto back = nextPageRequest(false);
    if (!back) {
        app->waitForLine([](const std::string&) { return false; }, 1s);
        for (const auto& line : app->lines())
            std::cerr << line << "\n";
    }
    ASSERT_TRUE(back) << "the first profile's page opens again";
    EXPECT_EQ(back->session, main->session);
}
