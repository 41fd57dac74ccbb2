#include "core/web/policy/NavigationPolicyService.h"

#include "core/web/policy/FileURLRules.h"
#include "fakes/LogCapture.h"
#include "support/TestDomains.h"

#include <gtest/gtest.h>

using orvi::NavigationDecision;
using orvi::NavigationPolicyService;
using orvi::Url;
using orvi::engine::NavigationAction;

namespace {

NavigationDecision decide(NavigationPolicyService& policy, const std::string& url, bool mainFrame) {
    return policy.decide({.url = url,
                          .navigationType = orvi::engine::NavigationType::linkActivated,
                          .targetsMainFrame = mainFrame});
}

class RecordingLauncher final : public orvi::platform::UriLauncher {
public:
    void launch(const std::string& uri) override { launched.push_back(uri); }
    std::vector<std::string> launched;
};

} // namespace

TEST(NavigationPolicyService, DecidesByTheFirstMatchingRule) {
    NavigationPolicyService policy(orvi::test::testDomains());
    using enum NavigationDecision;
    const std::pair<NavigationDecision, std::vector<const char*>> groups[] = {
        // Passed schemes in any case, no scheme or no host, the web host, download hosts on
        // label boundaries, the service domain, the outside hosts and the names under them.
        {allow,
         {"mailto:a@b.example", "TEL:+7000", "sms:+7000", "facetime:someone", "about:blank",
          "data:text/plain,x", "/relative", "http://web.orvi.test/", "http://x.web.orvi.test/a",
          "http://download.orvi.test/", "http://web-download.orvi.test/x",
          "http://mirror.download.orvi.test/x", "http://myapp.orvi.test/",
          "http://files.orvi.test/GetFile?id=1", "http://static.orvi.test/files/a.html", "http://orvi.test/",
          "http://static.orvi.test/app.js", "http://fonts.example.test/css",
          "http://a.cdn-two.example.test/lib.js"}},
        // File-like links outside the service: saved, never shown.
        {download,
         {"http://elsewhere.example/archive.zip", "http://elsewhere.example/Report.RTF",
          "http://elsewhere.example/attachment/123", "http://elsewhere.example/get/1",
          "http://elsewhere.example/blob/1", "http://orvi.test.evil.example/files/signin.html",
          "http://elsewhere.example/files/preview.html"}},
        // No URL or one that cannot be read, the landing page although it lies under the service
        // domain, look-alikes of every allowed host, and everything else.
        {cancel,
         {"", "http://web.orvi.test:99999/", "http://mirror-download.orvi.test.example/x",
          "http://app.orvi.test/", "http://app.orvi.test/report.pdf", "http://x.app.orvi.test/",
          "http://elsewhere.example/zip", "http://files.orvi.test.example/GetFile?id=1",
          "http://notorvi.test/", "http://notorvi.test.evil.example/", "http://orvi.test.evil.example/",
          "http://cdn-two.example.test.evil.example/lib.js", "http://elsewhere.example/",
          "https://web.orvi.test.evil.example/", "http://web.orvi.test@evil.example/",
          "http://evil.example\\@web.orvi.test/", "ftp://elsewhere.example/"}},
    };
    for (const auto& [expected, urls] : groups)
        for (const char* url : urls)
            EXPECT_EQ(decide(policy, url, true), expected) << url;
    EXPECT_EQ(decide(policy, "http://elsewhere.example/files/preview.html", false), allow)
        << "a file-like link may still load inside a frame";
}

TEST(FileURLRules, FileLikeLinksByPathMarkerExtensionOrFileHost) {
    const auto domains = orvi::test::testDomains();
    for (const char* url : {"http://a.example/download", "http://a.example/x/FILES/y",
                            "http://a.example/attach", "http://a.example/get/", "http://a.example/x.docx",
                            "http://a.example/x.DOCX", "http://a.example/x.ogg/", "http://a.example/x.rtf",
                            "http://a.example/x.pdf?download=1", "http://files.orvi.test/api/getFile"})
        EXPECT_TRUE(orvi::isFileLikeURL(*Url::parse(url), domains)) << url;
    for (const char* url : {"http://a.example/get", "http://a.example/pdf", "http://a.example/x.pdf.html",
                            "http://a.example/page?x=/download", "http://cdn.example/api/getFile",
                            "http://files.orvi.test/api/info"})
        EXPECT_FALSE(orvi::isFileLikeURL(*Url::parse(url), domains)) << url;
}

TEST(FileURLRules, FileDownloadLinksOnTheServiceByHostPathOrExtension) {
    const auto domains = orvi::test::testDomains();
    for (const char* url :
         {"http://download.orvi.test/", "http://web-download.orvi.test/anything", "http://files.orvi.test/x",
          "http://web.orvi.test/attachment/1", "http://web.orvi.test/blob/1",
          "http://web.orvi.test/api/v1/file/1", "http://web.orvi.test/api/v1/Attach/1",
          "http://web.orvi.test/chat/photo.JPG", "http://cdn.files.orvi.test/x"})
        EXPECT_TRUE(orvi::isFileDownloadURL(std::string_view(url), domains)) << url;
    for (const char* url : {"about:blank", "mailto:x@orvi.test", "http://elsewhere.example/files/a.zip",
                            "http://elsewhere.example/a.pdf", "http://web.orvi.test/api/v1/messages",
                            "http://web.orvi.test/chat/note.rtf", "http://web.orvi.test/chat",
                            "http://orvi.test.evil.example/a.zip", "http://files.orvi.test.evil.example/x"})
        EXPECT_FALSE(orvi::isFileDownloadURL(std::string_view(url), domains)) << url;
}

TEST(NavigationPolicyService, UnblockedOutsideLinksTheUserClickedGoToTheBrowserAndTheWindowStays) {
    using orvi::engine::NavigationType;
    struct Case {
        const char* name;
        bool block;
        const char* url;
        NavigationType type;
        bool newWindow;
        bool gesture;
        NavigationDecision expected;
        bool launched;
    };
    using enum NavigationDecision;
    const auto click = NavigationType::linkActivated;
    const auto other = NavigationType::other;
    const Case cases[] = {
        {"blocked click", true, "https://news.example.com/a", click, false, true, cancel, false},
        {"click", false, "https://news.example.com/a", click, false, true, cancel, true},
        {"click into a new window", false, "http://news.example.com/", other, true, true, cancel, true},
        {"script without a gesture", false, "https://news.example.com/a", click, false, false, cancel, false},
        {"redirect or script load", false, "https://news.example.com/a", other, false, true, cancel, false},
        {"not a web address", false, "ftp://news.example.com/a", click, false, true, cancel, false},
        {"the service itself", false, "https://web.orvi.test/chat", click, false, true, allow, false},
        {"the landing page", false, "https://app.orvi.test/", click, false, true, cancel, false},
    };
    for (const auto& c : cases) {
        auto browser = std::make_shared<RecordingLauncher>();
        NavigationPolicyService policy(orvi::test::testDomains(), c.block, browser);
        const NavigationAction action{.url = c.url,
                                      .navigationType = c.type,
                                      .opensNewWindow = c.newWindow,
                                      .isUserGesture = c.gesture};
        orvi::test::LogCapture log;
        EXPECT_EQ(policy.decide(action), c.expected) << c.name;
        EXPECT_EQ(browser->launched.size(), c.launched ? 1u : 0u) << c.name;
        if (c.launched) {
            EXPECT_EQ(browser->launched[0], Url::parse(c.url)->absoluteString()) << c.name;
        }
    }
    // The setting changes while the application runs; without a browser nothing is launched.
    auto browser = std::make_shared<RecordingLauncher>();
    NavigationPolicyService policy(orvi::test::testDomains(), true, browser);
    NavigationPolicyService browserless(orvi::test::testDomains(), false);
    const NavigationAction action{
        .url = "https://news.example.com/", .navigationType = click, .isUserGesture = true};
    policy.decide(action);
    policy.setBlockExternalLinks(false);
    EXPECT_EQ(policy.decide(action), cancel);
    EXPECT_EQ(browser->launched.size(), 1u);
    EXPECT_EQ(browserless.decide(action), cancel);
}
