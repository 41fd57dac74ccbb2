#include "integration/WebKitTestSupport.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using engine::PolicyDecision;

TEST(WebKitDownloads, DownloadsLandAtTheChosenPathAndFailOnceWhenRefusedDeclinedOrUntaken) {
    TestPage page;
    TempDir folder;
    RecordingDownloadDelegate files{folder.path()};
    page.nav.responseDecision = [](const engine::NavigationResponse& response) {
        return response.mimeType == "text/html" ? PolicyDecision::allow : PolicyDecision::download;
    };
    page.nav.onDownload = [&](const std::shared_ptr<engine::Download>& download) {
        download->setDelegate(&files);
    };
    auto waitForDownloadEnds = [&](std::size_t count) {
        return runMainLoopUntil([&] { return files.finished + files.failures.size() >= count; });
    };

    const std::string url =
        "http://web-download.orvi.test/files/doc.pdf?as8=%D0%BE%D1%82%D1%87%D1%91%D1%82.pdf";
    page.view->load(engine::Request{url});
    ASSERT_TRUE(waitForDownloadEnds(1));
    ASSERT_EQ(page.nav.downloads.size(), 1u);
    auto& download = *page.nav.downloads[0];
    EXPECT_EQ(download.url(), url);
    ASSERT_TRUE(download.response().has_value());
    EXPECT_EQ(download.response()->suggestedFilename, "отчёт.pdf");
    EXPECT_EQ(files.suggestedFilenames, std::vector<std::string>{"отчёт.pdf"});
    EXPECT_EQ(files.finished, 1);
    ASSERT_EQ(files.destinations.size(), 1u);
    EXPECT_EQ(readFile(files.destinations[0]), "ORVI imitation file /files/doc.pdf\n");
    EXPECT_EQ(page.nav.finished, 0) << "the navigation became a download instead of a page";
    // The interrupted navigation is reported on its own schedule, which may come after the
    // download has already finished.
    ASSERT_TRUE(runMainLoopUntil([&] { return !page.nav.provisionalFailures.empty(); }));
    ASSERT_EQ(page.nav.provisionalFailures.size(), 1u);
    EXPECT_EQ(page.nav.provisionalFailures[0].domain, engine::kWebKitErrorDomain);
    EXPECT_EQ(page.nav.provisionalFailures[0].code, engine::kWebKitErrorFrameLoadInterruptedByPolicyChange);

    // An existing file is refused and kept; a declined destination fails the download.
    const auto existing = folder.path() / "archive.zip";
    std::ofstream(existing) << "precious";
    for (const bool declined : {false, true}) {
        files.destination = [&](const std::string&) {
            return declined ? std::optional<std::string>() : std::optional<std::string>(existing.string());
        };
        page.view->load(engine::Request{"http://download.orvi.test/files/archive.zip"});
        ASSERT_TRUE(waitForDownloadEnds(2 + declined)) << declined;
        runMainLoopFor(std::chrono::milliseconds(300));
        EXPECT_EQ(files.finished, 1) << declined;
        EXPECT_EQ(files.failures.size(), 1u + declined) << "once each";
        EXPECT_EQ(readFile(existing), "precious");
    }

    // A download nobody takes is cancelled.
    page.nav.onDownload = nullptr;
    const auto chosen = files.destinations.size();
    page.view->load(engine::Request{"http://download.orvi.test/files/archive.zip"});
    ASSERT_TRUE(runMainLoopUntil([&] { return page.nav.downloads.size() == 4; }));
    runMainLoopFor(std::chrono::milliseconds(500));
    EXPECT_EQ(files.destinations.size(), chosen);
}
