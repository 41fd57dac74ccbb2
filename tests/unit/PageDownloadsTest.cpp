#include "core/page/PageDownloads.h"

#include "fakes/FakeEngine.h"
#include "fakes/LogCapture.h"
#include "fakes/RecordingFileSaving.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

namespace {

// An engine download driven by the test: it asks its delegate for a destination, then
// "writes" the body there and reports the end, as the engine does.
class ScriptedDownload final : public engine::Download {
public:
    ScriptedDownload(std::string url, engine::NavigationResponse response)
        : m_url(std::move(url)), m_response(std::move(response)) {}

    std::string url() const override { return m_url; }
    std::optional<engine::NavigationResponse> response() const override { return m_response; }
    void setDelegate(engine::DownloadDelegate* delegate) override { m_delegate = delegate; }
    void cancel() override {}

    // Runs the download to its end; returns the destination it was given. The delegate may
    // let go of the download at any step.
    std::optional<std::string> run(const std::string& suggested, const std::string& body) {
        std::optional<std::string> destination;
        if (m_delegate)
            m_delegate->decideDestination(*this, suggested, [&](auto chosen) { destination = chosen; });
        if (destination)
            std::ofstream(*destination, std::ios::binary) << body;
        if (m_delegate && destination)
            m_delegate->downloadDidFinish(*this);
        else if (m_delegate)
            m_delegate->downloadDidFail(*this, Error{"WebKitDownloadError", 499, "cancelled"});
        return destination;
    }

private:
    std::string m_url;
    engine::NavigationResponse m_response;
    engine::DownloadDelegate* m_delegate = nullptr;
};

engine::NavigationResponse response(const std::string& url, int status = 200, engine::Headers headers = {}) {
    return {.url = url, .statusCode = status, .headers = std::move(headers)};
}

struct DownloadsFixture {
    DownloadsFixture() {
        std::filesystem::create_directories(userDownloads);
        subscription = downloads.subscribe([this](const DownloadEvent& e) { events.push_back(e); });
    }
    std::shared_ptr<ScriptedDownload> engineDownload(const std::string& url, engine::NavigationResponse r) {
        auto download = std::make_shared<ScriptedDownload>(url, std::move(r));
        downloads.adoptDownload(download);
        return download;
    }
    std::vector<DownloadEvent::Kind> kinds() const {
        std::vector<DownloadEvent::Kind> out;
        for (const auto& e : events)
            out.push_back(e.kind);
        return out;
    }

    LogCapture log;
    TempDir temp;
    std::filesystem::path userDownloads = temp / "Загрузки";
    std::shared_ptr<RecordingFileSaving> saving = std::make_shared<RecordingFileSaving>();
    PageDownloads downloads{saving, {temp.path(), userDownloads}};
    FakeEngine engine;
    std::shared_ptr<FakeWebView> webView =
        std::static_pointer_cast<FakeWebView>(engine.makeWebView({engine.dataStore("p")}));
    std::vector<DownloadEvent> events;
    Connection subscription;
};

} // namespace

TEST(PageDownloads, AManualDownloadTakesThePageLabelOrTheServerNameStagesTheFileAndOffersItInTheDownloads) {
    DownloadsFixture f;
    const std::string url = "https://files.orvi.example/f/9x8y7z.pdf";
    f.downloads.startManualDownload(*f.webView, url, std::string("Договор.pdf"));
    ASSERT_EQ(f.webView->downloads.size(), 1u);
    EXPECT_EQ(f.webView->downloads[0].url, url);

    auto download = f.engineDownload(url, response(url));
    const auto destination = download->run("9x8y7z.pdf", "%PDF-1");
    ASSERT_TRUE(destination);
    EXPECT_FALSE(std::filesystem::exists(*destination)) << "the engine's folder is emptied once staged";

    ASSERT_EQ(f.saving->requests.size(), 1u);
    EXPECT_EQ(f.saving->requests[0].suggestedName, "Договор.pdf");
    EXPECT_EQ(f.saving->requests[0].startFolder, f.userDownloads);
    const auto staged = f.downloads.stagingFolder() / "Договор.pdf";
    EXPECT_EQ(readFile(staged), "%PDF-1");
    EXPECT_EQ(fileMode(f.downloads.stagingFolder()), 0700u);

    f.saving->requests[0].completion(f.userDownloads / "Договор.pdf");
    EXPECT_EQ(readFile(f.userDownloads / "Договор.pdf"), "%PDF-1");
    EXPECT_FALSE(std::filesystem::exists(staged));
    EXPECT_EQ(f.kinds(),
              (std::vector<DownloadEvent::Kind>{DownloadEvent::Kind::started, DownloadEvent::Kind::downloaded,
                                                DownloadEvent::Kind::saved}));
    EXPECT_EQ(f.events.back().savedPath, f.userDownloads / "Договор.pdf");

    // A frame's file keeps the server's name; a link is recognised in its normalized form.
    auto frameFile =
        response("https://files.orvi.example/f/1", 200,
                 {{"Content-Disposition", "attachment; filename*=UTF-8''%D0%B0%D0%BA%D1%82.pdf"}});
    f.downloads.startManualFileDownload(*f.webView, frameFile);
    f.engineDownload("https://files.orvi.example/f/1", response("https://files.orvi.example/f/1"))
        ->run("1", "act");
    EXPECT_EQ(readFile(f.downloads.stagingFolder() / "акт.pdf"), "act");

    f.downloads.startManualDownload(*f.webView, "https://files.orvi.example/d/счёт 1.pdf",
                                    std::string("Счёт.pdf"));
    const std::string normalized = "https://files.orvi.example/d/%D1%81%D1%87%D1%91%D1%82%201.pdf";
    f.engineDownload(normalized, response(normalized))->run("x.pdf", "bill");
    EXPECT_EQ(readFile(f.downloads.stagingFolder() / "Счёт.pdf"), "bill");
}

TEST(PageDownloads, AnErrorStatusIsAFailureWithoutSaveDialogAndOnlyHttpLinksAreFetched) {
    DownloadsFixture f;
    const std::string url = "https://files.orvi.example/missing.pdf";
    f.downloads.startManualDownload(*f.webView, url, std::nullopt);
    auto download = f.engineDownload(url, response(url, 404));
    EXPECT_FALSE(download->run("missing.pdf", "not found"));
    EXPECT_TRUE(f.saving->requests.empty());
    ASSERT_EQ(f.kinds(), std::vector<DownloadEvent::Kind>{DownloadEvent::Kind::failed});
    EXPECT_NE(f.events[0].reason.find("404"), std::string::npos);

    for (const char* link : {"file:///etc/passwd", "javascript:alert(1)", "data:text/plain,x",
                             "ftp://orvi.example/a", "https://", "not a url"})
        f.downloads.startManualDownload(*f.webView, link, std::nullopt);
    EXPECT_EQ(f.webView->downloads.size(), 1u) << "only http links are fetched";
}

TEST(PageDownloads, SameNamesWaitSideBySideAndNoNameOrPlantedLinkLeadsOutOfTheStagingFolder) {
    DownloadsFixture f;
    const std::string report = "https://files.orvi.example/report.pdf";
    for (int i = 0; i < 3; ++i)
        f.engineDownload(report, response(report))->run("report.pdf", "body " + std::to_string(i));
    ASSERT_EQ(f.saving->requests.size(), 3u);
    const auto staging = f.downloads.stagingFolder();
    EXPECT_EQ(readFile(staging / "report.pdf"), "body 0");
    EXPECT_EQ(readFile(staging / "report_1.pdf"), "body 1");
    EXPECT_EQ(readFile(staging / "report_2.pdf"), "body 2");

    for (auto& request : f.saving->requests)
        request.completion(std::nullopt);
    EXPECT_TRUE(std::filesystem::is_empty(staging));

    const std::string url = "https://files.orvi.example/x";
    f.downloads.startManualDownload(*f.webView, url, std::nullopt);
    auto download = f.engineDownload(
        url, response(url, 200, {{"Content-Disposition", "attachment; filename=\"../../../../.bashrc\""}}));
    const auto destination = download->run("../../../../.bashrc", "evil");
    ASSERT_TRUE(destination);
    EXPECT_EQ(std::filesystem::path(*destination).parent_path().parent_path(),
              f.temp.path() / "OrviWrapperNativeDownloads");
    EXPECT_EQ(readFile(f.downloads.stagingFolder() / "bashrc"), "evil");
    EXPECT_FALSE(std::filesystem::exists(f.temp.path() / ".bashrc"));

    // Nor can a staging folder planted as a link lead elsewhere.
    TempDir elsewhere;
    std::filesystem::remove_all(f.downloads.stagingFolder());
    std::filesystem::create_directory_symlink(elsewhere.path(), f.downloads.stagingFolder());
    const auto file = f.temp / "file.txt";
    std::ofstream(file) << "x";
    EXPECT_FALSE(f.downloads.stage(file, "file.txt").ok());
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
}

TEST(PageDownloads, SavingOverAFileReplacesItWholeAndAFailedMoveKeepsBothFiles) {
    TempDir dir;
    const auto staged = dir / "staged.txt";
    const auto target = dir / "target.txt";
    std::ofstream(staged) << "new";
    std::ofstream(target) << "old";
    EXPECT_FALSE(PageDownloads::moveFile(staged, target));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_FALSE(std::filesystem::exists(staged));

    std::ofstream(staged) << "newer";
    EXPECT_TRUE(PageDownloads::moveFile(staged, dir / "no-such-folder" / "x.txt"));
    EXPECT_EQ(readFile(staged), "newer");
    EXPECT_EQ(readFile(target), "new");
}
