#include "SessionTestSupport.h"
#include "core/session/CookieDictionary.h"
#include "core/session/ExportFormat.h"

#include <regex>
#include <sys/stat.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

constexpr const char* kSnapshot = R"({"localStorage":{"token":"abc","k2":"v"},"sessionStorage":{}})";

class SessionExportTest : public SessionFixture {
protected:
    std::function<void(std::optional<std::string>)> keepBlob() {
        return [this](std::optional<std::string> data) { blobs.push_back(std::move(data)); };
    }
    std::optional<std::string> exportPlain() {
        blobs.clear();
        exporter->exportCookies(profile, keepBlob());
        EXPECT_EQ(blobs.size(), 1u);
        return blobs.empty() ? std::nullopt : blobs.front();
    }
    void exportFile() {
        exporter->exportToFile(profile, store, view, [this](std::optional<std::filesystem::path> path) {
            files.push_back(std::move(path));
        });
    }
    CookieEncryption envelope;
};

} // namespace

TEST_F(SessionExportTest, PlainExportOfEntriesWithoutStorageOrInTheLegacyFormatIsTheSavedBytes) {
    EXPECT_FALSE(exportPlain());

    const std::string cookies = R"([{"name":"sid","value":"1","domain":"d","path":"/"}])";
    prefs.setData(keys::cookies(profile), cookies);
    EXPECT_EQ(exportPlain(), cookies);

    const std::string legacy("bplist00\x01\x02", 10);
    prefs.setData(keys::cookies(profile), legacy);
    prefs.setData(keys::storage(profile), kSnapshot);
    EXPECT_EQ(exportPlain(), legacy);
}

TEST_F(SessionExportTest, EncryptedExportsOfSavedEntriesOrOfAnEmptyLiveStoreOpenToDocuments) {
    prefs.setData(keys::cookies(profile), "[]");
    exporter->exportCookiesEncrypted(profile, "pw", keepBlob());
    exporter->exportCookiesEncryptedFromDataStore(profile, "pw", store, keepBlob());
    prefs.setData(keys::cookies(profile), cookies::toDictionaries({makeCookie("sid", "1")}).dump());
    prefs.setData(keys::storage(profile), kSnapshot);
    exporter->exportCookiesEncrypted(profile, "pw", keepBlob());
    ASSERT_EQ(blobs.size(), 3u);
    EXPECT_FALSE(blobs[0]) << "no saved cookies, nothing to export";
    auto empty = parseJson(envelope.decrypt(blobs[1].value(), "pw"));
    EXPECT_EQ(*empty, Json::parse(R"({"cookies":[],"version":2,"source":"activeWKWebsiteDataStore"})"));
    auto saved = parseJson(envelope.decrypt(blobs[2].value(), "pw"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->at("version"), 2);
    EXPECT_EQ(saved->at("storage"), Json::parse(kSnapshot));
    EXPECT_EQ(saved->at("cookies"), cookies::toDictionaries({makeCookie("sid", "1")}));
}

TEST_F(SessionExportTest, FileExportWritesAPrivateIndentedDocumentIntoTheDocumentsFolderUnderAFreshName) {
    store->cookies.cookies = {makeCookie("sid", "1")};
    answerCaptureWith(kSnapshot);
    ::umask(0);
    exportFile();
    ::umask(022);
    ASSERT_EQ(files.size(), 1u);
    ASSERT_TRUE(files[0]);
    const auto path = *files[0];
    EXPECT_EQ(path.parent_path(), documents.path() / "Documents");
    EXPECT_TRUE(std::regex_match(path.filename().string(),
                                 std::regex(R"(orvi_cookies_\d{4}-\d\d-\d\d_\d\d-\d\d\.json)")));
    EXPECT_EQ(fileMode(path), 0600u);
    EXPECT_EQ(fileMode(path.parent_path()), 0700u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);

    const auto text = readFile(path);
    auto document = parseJson(text);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->at("profileId"), profile.text());
    EXPECT_EQ(document->at("exportedAt"), "2026-01-31T12:05:00Z");
    EXPECT_EQ(document->at("storage"), Json::parse(kSnapshot));

    exportFile();
    ASSERT_EQ(files.size(), 2u);
    ASSERT_TRUE(files[1]);
    EXPECT_EQ(files[1]->filename().string(), path.stem().string() + "_2.json") << "same minute, own file";
    EXPECT_EQ(readFile(path), text);
}

TEST_F(SessionExportTest, FileExportRetriesAnEmptyStoreOnceAfterTwoSecondsAndCompletesEvenWhenGone) {
    exportFile();
    EXPECT_TRUE(files.empty());
    scheduler.advance(1.9s);
    EXPECT_TRUE(files.empty());
    store->cookies.cookies = {makeCookie("late", "1")};
    scheduler.advance(0.1s);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(parseJson(readFile(files[0].value()))->at("cookies").size(), 1u);

    store->cookies.cookies.clear();
    exportFile();
    scheduler.advance(2s);
    ASSERT_EQ(files.size(), 2u);
    ASSERT_TRUE(files[1]);
    EXPECT_EQ(parseJson(readFile(*files[1]))->at("cookies"), Json::array());
    EXPECT_EQ(store->cookies.getAllCount, 4);

    exportFile();
    exporter.reset();
    scheduler.advance(5s);
    ASSERT_EQ(files.size(), 3u) << "an export gone during the retry still completes once";
    EXPECT_FALSE(files[2]);
}

TEST_F(SessionExportTest, FileExportFromAPageOffTheServiceUsesTheSavedSnapshot) {
    store->cookies.cookies = {makeCookie("sid", "1")};
    prefs.setData(keys::storage(profile), kSnapshot);
    const std::string foreign = R"({"localStorage":{"foreign":"x"},"sessionStorage":{}})";
    answerCaptureWith(foreign);
    view->currentURL = "https://elsewhere.test/";
    exportFile();
    EXPECT_TRUE(view->evaluations.empty());

    view->currentURL = kServicePage;
    view->responder = [this, foreign](const std::string&,
                                      engine::World) -> std::optional<engine::ScriptResult> {
        // The page followed a link while the capture ran; the answer is the new page's.
        view->currentURL = "https://elsewhere.test/";
        return engine::ScriptResult(Json(foreign));
    };
    exportFile();
    EXPECT_EQ(view->evaluations.size(), 1u);
    ASSERT_EQ(files.size(), 2u);
    for (const auto& file : files) {
        ASSERT_TRUE(file);
        EXPECT_EQ(parseJson(readFile(*file))->at("storage"), Json::parse(kSnapshot));
    }
    EXPECT_EQ(savedStorage(), kSnapshot);
}

TEST_F(SessionExportTest, AnExportedFileImportsIntoAnotherProfileUnchanged) {
    auto persistent = makeCookie("sid", "a=b;c/d");
    persistent.sameSitePolicy = "lax";
    store->cookies.cookies = {persistent, makeCookie("s", "ключ", "web.orvi.test", std::nullopt)};
    const std::string snapshot =
        R"({"localStorage":{"q'\"\\":"line\nbreak \u2028 😀 ключ \u0000"},"sessionStorage":{"s":"/"}})";
    answerCaptureWith(snapshot);
    exportFile();
    ASSERT_EQ(files.size(), 1u);

    const auto other = ProfileId::generate();
    auto otherStore = std::make_shared<FakeDataStore>(true, "other");
    importer->importCookies(other, readFile(files[0].value()), otherStore,
                            [this](int c) { counts.push_back(c); });
    scheduler.runPending();
    EXPECT_EQ(counts, std::vector<int>{2});
    EXPECT_EQ(otherStore->cookies.cookies, store->cookies.cookies);
    EXPECT_EQ(parseJson(*prefs.data(keys::storage(other))), parseJson(snapshot));
}

TEST(ExportFormat, IndentsLikeTheOtherDesktopVersion) {
    const auto document =
        Json::parse(R"({"b":[1,2.5,1893456000.0],"a":{},"c":[],"d":{"x":"a/b","y":true,"z":null}})");
    EXPECT_EQ(exportformat::prettyText(document),
              "{\n  \"a\" : {\n\n  },\n  \"b\" : [\n    1,\n    2.5,\n    1893456000\n  ],\n"
              "  \"c\" : [\n\n  ],\n  \"d\" : {\n    \"x\" : \"a\\/b\",\n"
              "    \"y\" : true,\n    \"z\" : null\n  }\n}");
}

TEST_F(SessionExportTest, ExportsFailOverAnUnreadableLiveStoreInsteadOfWritingNoCookiesOrWithoutAFolder) {
    store->cookies.cookies = {makeCookie("sid", "1")};
    store->cookies.readFailure = Error{"WebKit", 1, "no jar"};
    exporter->exportCookiesEncryptedFromDataStore(profile, "pw", store, keepBlob());
    exportFile();
    scheduler.advance(5s);
    EXPECT_EQ(blobs, std::vector<std::optional<std::string>>{std::nullopt});
    EXPECT_EQ(files, std::vector<std::optional<std::filesystem::path>>{std::nullopt});
    for (const auto& entry : std::filesystem::recursive_directory_iterator(documents.path()))
        EXPECT_FALSE(entry.is_regular_file()) << entry.path();

    store->cookies.readFailure.reset();
    makeExport({})->exportToFile(profile, store, view,
                                 [this](std::optional<std::filesystem::path> p) { files.push_back(p); });
    std::filesystem::create_directories(documents.path() / "Documents");
    ::chmod((documents.path() / "Documents").c_str(), 0500);
    exportFile();
    ::chmod((documents.path() / "Documents").c_str(), 0700);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_FALSE(files[1]) << "no documents folder";
    if (::geteuid() != 0) { // root writes anyway
        EXPECT_FALSE(files[2]);
    }
}
