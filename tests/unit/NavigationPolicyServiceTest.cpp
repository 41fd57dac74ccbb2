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

NavigationDecision decide(NavigationPolicyService& policy, const std::string& url) {
    NavigationAction action;
    action.url = url;
    action.navigationType = orvi::engine::NavigationType::linkActivated;
    return policy.decide(action);
}

struct UrlCase {
    const char* url;
    bool expected;
};

class RecordingLauncher final : public orvi::platform::UriLauncher {
public:
    void launch(const std::string& uri) override { launched.push_back(uri); }
    std::vector<std::string> launched;
};

} // namespace

TEST(NavigationPolicyService, DecidesByTheFirstMatchingRule) {
    NavigationPolicyService policy(orvi::test::testDomains());
    struct Case {
        const char* url;
        NavigationDecision expected;
    };
    const auto allow = NavigationDecision::allow;
    const auto cancel = NavigationDecision::cancel;
    const auto download = NavigationDecision::download;
    const Case cases[] = {
        // No URL, or one that cannot be read.
        {"", cancel},
        {"http://web.orvi.test:99999/", cancel},
        // Passed schemes, in any case.
        {"mailto:a@b.example", allow},
        {"TEL:+7000", allow},
        {"sms:+7000", allow},
        {"facetime:someone", allow},
        // No scheme or no host.
        {"about:blank", allow},
        {"data:text/plain,x", allow},
        {"/relative", allow},
        // The web host and its subdomains.
        {"http://web.orvi.test/", allow},
        {"http://x.web.orvi.test/a", allow},
        // Download hosts, on label boundaries only.
        {"http://download.orvi.test/", allow},
        {"http://web-download.orvi.test/x", allow},
        {"http://mirror.download.orvi.test/x", allow},
        {"http://mirror-download.orvi.test.example/x", cancel},
        // The landing page is refused even though it lies under the service domain.
        {"http://app.orvi.test/", cancel},
        {"http://app.orvi.test/report.pdf", cancel},
        {"http://x.app.orvi.test/", cancel},
        {"http://myapp.orvi.test/", allow},
        // File-like links: saved, never shown, when outside the service.
        {"http://elsewhere.example/archive.zip", download},
        {"http://elsewhere.example/Report.RTF", download},
        {"http://elsewhere.example/attachment/123", download},
        {"http://elsewhere.example/get/1", download},
        {"http://elsewhere.example/blob/1", download},
        {"http://orvi.test.evil.example/files/signin.html", download},
        {"http://elsewhere.example/zip", cancel},
        {"http://files.orvi.test/GetFile?id=1", allow},
        {"http://files.orvi.test.example/GetFile?id=1", cancel},
        {"http://static.orvi.test/files/a.html", allow},
        // The service domain and the names under it.
        {"http://orvi.test/", allow},
        {"http://static.orvi.test/app.js", allow},
        {"http://notorvi.test/", cancel},
        {"http://notorvi.test.evil.example/", cancel},
        {"http://orvi.test.evil.example/", cancel},
        // Outside hosts and the names under them.
        {"http://fonts.example.test/css", allow},
        {"http://a.cdn-two.example.test/lib.js", allow},
        {"http://cdn-two.example.test.evil.example/lib.js", cancel},
        // Everything else.
        {"http://elsewhere.example/", cancel},
        {"https://web.orvi.test.evil.example/", cancel},
        {"http://web.orvi.test@evil.example/", cancel},
        {"http://evil.example\\@web.orvi.test/", cancel},
        {"ftp://elsewhere.example/", cancel},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decide(policy, c.url), c.expected) << c.url;
}

TEST(NavigationPolicyService, AFileLikeLinkOutsideTheServiceMayStillLoadInsideAFrame) {
    NavigationPolicyService policy(orvi::test::testDomains());
    NavigationAction action;
    action.url = "http://elsewhere.example/files/preview.html";
    action.targetsMainFrame = false;
    EXPECT_EQ(policy.decide(action), NavigationDecision::allow);
    action.targetsMainFrame = true;
    EXPECT_EQ(policy.decide(action), NavigationDecision::download);
}

TEST(FileURLRules, FileLikeLinksByPathMarkerExtensionOrFileHost) {
    const auto domains = orvi::test::testDomains();
    const UrlCase cases[] = {
        {"http://a.example/download", true},
        {"http://a.example/x/FILES/y", true},
        {"http://a.example/attach", true},
        {"http://a.example/get/", true},
        {"http://a.example/get", false},
        {"http://a.example/x.docx", true},
        {"http://a.example/x.DOCX", true},
        {"http://a.example/x.ogg/", true},
        {"http://a.example/x.rtf", true},
        {"http://a.example/pdf", false},
        {"http://a.example/x.pdf.html", false},
        {"http://a.example/x.pdf?download=1", true},
        {"http://a.example/page?x=/download", false},
        {"http://files.orvi.test/api/getFile", true},
        {"http://cdn.example/api/getFile", false},
        {"http://files.orvi.test/api/info", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orvi::isFileLikeURL(*Url::parse(c.url), domains), c.expected) << c.url;
}

TEST(FileURLRules, FileDownloadLinksOnTheServiceByHostPathOrExtension) {
    const auto domains = orvi::test::testDomains();
    const UrlCase cases[] = {
        {"about:blank", false},
        {"mailto:x@orvi.test", false},
        {"http://download.orvi.test/", true},
        {"http://web-download.orvi.test/anything", true},
        {"http://files.orvi.test/x", true},
        {"http://elsewhere.example/files/a.zip", false},
        {"http://elsewhere.example/a.pdf", false},
        {"http://web.orvi.test/attachment/1", true},
        {"http://web.orvi.test/blob/1", true},
        {"http://web.orvi.test/api/v1/file/1", true},
        {"http://web.orvi.test/api/v1/Attach/1", true},
        {"http://web.orvi.test/api/v1/messages", false},
        {"http://web.orvi.test/chat/photo.JPG", true},
        {"http://web.orvi.test/chat/note.rtf", false},
        {"http://web.orvi.test/chat", false},
        {"http://orvi.test.evil.example/a.zip", false},
        {"http://files.orvi.test.evil.example/x", false},
        {"http://cdn.files.orvi.test/x", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orvi::isFileDownloadURL(std::string_view(c.url), domains), c.expected) << c.url;
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
    const auto allow = NavigationDecision::allow;
    const auto cancel = NavigationDecision::cancel;
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
        NavigationAction action;
        action.url = c.url;
        action.navigationType = c.type;
        action.opensNewWindow = c.newWindow;
        action.isUserGesture = c.gesture;
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
    NavigationAction action;
    action.url = "https://news.example.com/";
    action.navigationType = click;
    action.isUserGesture = true;
    policy.decide(action);
    policy.setBlockExternalLinks(false);
    EXPECT_EQ(policy.decide(action), cancel);
    EXPECT_EQ(browser->launched.size(), 1u);
    EXPECT_EQ(browserless.decide(action), cancel);
}
