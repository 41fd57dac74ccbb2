#include "PrivateSessionBus.h"
#include "core/base/Json.h"
#include "service/ServicePages.h"
#include "support/AppProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::test::TempDir;

// The real application against a web client that turns on it: the page may neither forge the
// application's log lines nor take the window, which has no address bar, to a host that only
// looks like the service's.
TEST(HostilePageProcess, NeitherForgesLogLinesNorShowsALookAlikeHost) {
    ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive());
    TempDir dir;
    auto service = orvi::test::startServiceProcess(ORVI_IMITATION_SERVICE_BINARY, {"0", "--log-requests"});
    ASSERT_TRUE(service.process);
    auto endpoints = orvi::parseJson(orvi::test::readFile(service.environment.at("ORVI_SERVICE_ENDPOINTS")));
    ASSERT_TRUE(endpoints);
    (*endpoints)["webHost"] = orvi::test::pages::kHostileWebHost;
    std::ofstream(dir / "endpoints.json") << endpoints->dump();

    auto app =
        orvi::test::launchApp(dir.path(), {{"ORVI_PROXY", service.environment.at("ORVI_PROXY")},
                                           {"ORVI_SERVICE_ENDPOINTS", (dir / "endpoints.json").string()}});
    const auto done = app->waitForLine(
        [](const std::string& l) {
            return l.find("[page]") != std::string::npos && l.ends_with("hostile page done");
        },
        20s);
    EXPECT_TRUE(done) << "the page stayed on screen through every attempt to leave";
    app->sendSignal(SIGTERM);
    EXPECT_EQ(app->waitForExit(15s), 0);

    const auto& lines = app->lines();
    const auto count = [&](auto matches) { return std::count_if(lines.begin(), lines.end(), matches); };
    EXPECT_EQ(count([](const std::string& l) {
                  return l.starts_with("[page]") &&
                         l.find("ordinary\\n🛑 Application will terminate") != std::string::npos;
              }),
              1)
        << "one escaped line, marked as the page's";
    EXPECT_EQ(count([](const std::string& l) { return l.starts_with("🛑") || l.starts_with("✅ forged"); }),
              1)
        << "no forged line, only the real termination";

    service.process->sendSignal(SIGTERM);
    service.process->waitForExit(5s);
    for (const auto& line : service.process->lines()) {
        if (line.starts_with("REQUEST GET ") && line.find(".evil.example/") != std::string::npos) {
            EXPECT_NE(line.find(".evil.example/files/"), std::string::npos)
                << "only a file may be fetched: " << line;
        }
    }
}
