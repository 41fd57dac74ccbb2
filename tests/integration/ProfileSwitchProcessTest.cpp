#include "PrivateSessionBus.h"
#include "support/AppProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// The session a page request "REQUEST GET <host>/ cookies=... session=<value>" carried.
std::optional<std::string> pageRequestSession(const std::string& line) {
    if (!line.starts_with("REQUEST GET ") || line.find("/ cookies=") == std::string::npos)
        return std::nullopt;
    const auto session = line.find(" session=");
    return session == std::string::npos ? "" : line.substr(session + 9);
}

} // namespace

// Two profiles of the real application against the imitation service: a profile added from
// the profiles screen logs in on its own, and switching between the two never lets one
// profile's session reach the other's page.
TEST(ProfileSwitchProcess, EachProfileOpensItsPageWithItsOwnSessionOnly) {
    ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive());
    orvi::test::TempDir dir;
    auto service = orvi::test::startServiceProcess(ORVI_IMITATION_SERVICE_BINARY,
                                                   {"0", "--auto-login", "--log-sessions"});
    ASSERT_TRUE(service.process);
    auto environment = service.environment;
    environment["ORVI_TEST_SCREENS"] = "1";
    auto app = orvi::test::launchApp(dir.path(), environment);

    // The service's lines are read in order: each wait starts after the line the last one found.
    auto nextPageRequest = [&](bool withSession) {
        const auto line = service.process->waitForLine(
            [&](const std::string& l) {
                const auto session = pageRequestSession(l);
                return session && (!withSession || !session->empty());
            },
            20s);
        return line ? pageRequestSession(*line) : std::nullopt;
    };

    const auto main = nextPageRequest(true);
    ASSERT_TRUE(main) << "the first profile logs in";

    for (const auto& [action, parameter] :
         std::vector<std::pair<std::string, std::string>>{{"profiles", "[]"},
                                                          {"test-screen", "[<'add'>]"},
                                                          {"test-screen", "[<'form-name:Второй'>]"},
                                                          {"test-screen", "[<'form-save'>]"},
                                                          {"test-screen", "[<'close'>]"},
                                                          {"switch-profile", "[<2>]"}})
        EXPECT_TRUE(orvi::test::activateAppAction(action, parameter)) << action << " " << parameter;
    const auto secondFirst = nextPageRequest(false);
    ASSERT_TRUE(secondFirst) << "the added profile opens its page";
    EXPECT_EQ(*secondFirst, "") << "a new profile starts without the first one's session";
    const auto second = nextPageRequest(true);
    ASSERT_TRUE(second) << "the added profile logs in";
    EXPECT_NE(*second, *main);

    // The first profile's cached page comes back as it was left; reloading it (Ctrl+R) asks
    // the service again, and must do so as the first profile.
    EXPECT_TRUE(orvi::test::activateAppAction("switch-profile", "[<1>]"));
    app->waitForLine(orvi::test::startsWith("ℹ️ WebView already loaded"), 10s);
    EXPECT_TRUE(orvi::test::activateAppAction("reload"));
    const auto back = nextPageRequest(false);
    ASSERT_TRUE(back) << "the first profile's page opens again";
    EXPECT_EQ(*back, *main);
}
