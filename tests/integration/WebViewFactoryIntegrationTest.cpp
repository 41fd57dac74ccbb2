#include "support/AppProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

using namespace orvi::test;

TEST(ServiceEndpointsStartup, TheApplicationRefusesAnInvalidEndpointsFileAndSaysWhichAndWhy) {
    TempDir folder;
    const auto path = folder.path() / "endpoints.json";
    std::ofstream(path) << R"({"scheme": "http", "webHost": "web.orvi.test", "colour": "blue"})";
    auto app = launchApp(folder.path(), {{"ORVI_SERVICE_ENDPOINTS", path.string()}});
    EXPECT_NE(app->waitForExit(std::chrono::seconds(15)).value_or(0), 0);
    EXPECT_TRUE(std::ranges::any_of(app->lines(), [&](const std::string& line) {
        return line.find(path.string()) != std::string::npos && line.find("\"colour\"") != std::string::npos;
    }));
}
