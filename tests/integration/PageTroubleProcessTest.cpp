#include "PrivateSessionBus.h"
#include "support/AppProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::test::startsWith;

// The service stops answering while the application starts; once it answers again the page
// comes back on its own, with nobody pressing anything.
TEST(PageTroubleProcess, APageThatHangsShowsItsTroubleAndLoadsOnItsOwnWhenTheServiceComesBack) {
    ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive());
    auto service = orvi::test::startServiceProcess(ORVI_IMITATION_SERVICE_BINARY,
                                                   {"--hang", "--auto-login", "--log-requests"});
    ASSERT_TRUE(service.process);
    orvi::test::TempDir dir;
    auto env = service.environment;
    // The real time-out is half a minute.
    env["ORVI_REQUEST_TIMEOUT_LIMIT"] = "2";
    auto app = orvi::test::launchApp(dir.path(), env);

    ASSERT_TRUE(service.process->waitForLine(startsWith("REQUEST GET web.orvi.test/ "), 15s));
    ASSERT_TRUE(app->waitForLine(startsWith("⚠️ Page could not load"), 10s)) << "the trouble is shown";
    service.process->sendSignal(SIGUSR1);
    ASSERT_TRUE(service.process->waitForExactLine("OUTAGE OVER", 5s));

    EXPECT_TRUE(app->waitForLine(startsWith("✅ Page loaded, trouble state cleared"), 15s));
    EXPECT_TRUE(service.process->waitForLine(startsWith("REQUEST GET web.orvi.test/api/chats"), 10s))
        << "the page is the working client again";
    app->sendSignal(SIGTERM);
    EXPECT_EQ(app->waitForExit(15s), 0);
}
