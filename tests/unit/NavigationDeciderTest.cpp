#include "core/web/policy/NavigationDecider.h"

#include "fakes/FakeEngine.h"
#include "fakes/RecordingManualDownloadStarter.h"
#include "support/TestDomains.h"

#include <gtest/gtest.h>

using orvi::engine::NavigationAction;
using orvi::engine::NavigationResponse;
using orvi::engine::NavigationType;
using orvi::engine::PolicyDecision;

namespace {

struct DeciderFixture {
    DeciderFixture()
        : webView(orvi::engine::WebViewConfiguration{}), policy(orvi::test::testDomains()),
          decider(policy, orvi::test::testDomains(), downloads) {}

    // The decision, checking the handler is called exactly once before the call returns.
    template <typename Input> PolicyDecision decide(const Input& input) {
        int calls = 0;
        PolicyDecision decision = PolicyDecision::allow;
        auto handler = [&](PolicyDecision d) {
            ++calls;
            decision = d;
        };
        if constexpr (std::is_same_v<Input, NavigationAction>)
            decider.decideAction(webView, input, handler);
        else
            decider.decideResponse(webView, input, handler);
        EXPECT_EQ(calls, 1) << input.url;
        return decision;
    }

    orvi::test::FakeWebView webView;
    orvi::NavigationPolicyService policy;
    orvi::test::RecordingManualDownloadStarter downloads;
    orvi::NavigationDecider decider;
};

NavigationAction makeAction(const std::string& url, NavigationType type = NavigationType::linkActivated,
                            std::optional<bool> mainFrame = true, bool shouldPerformDownload = false) {
    NavigationAction action;
    action.url = url;
    action.navigationType = type;
    action.targetsMainFrame = mainFrame;
    action.shouldPerformDownload = shouldPerformDownload;
    return action;
}

NavigationResponse makeResponse(const std::string& url, const std::string& mime, bool mainFrame = true,
                                const std::string& disposition = "", bool http = true) {
    NavigationResponse response;
    response.url = url;
    response.mimeType = mime;
    response.isForMainFrame = mainFrame;
    response.isHTTP = http;
    if (!disposition.empty())
        response.headers.emplace_back("content-disposition", disposition);
    return response;
}

} // namespace

TEST(NavigationDecider, ActionsOnFileLinksOfTheServiceBecomeManualDownloadsOnlyWhenClicked) {
    struct Case {
        NavigationAction action;
        PolicyDecision expected;
        bool manualDownload;
    };
    const Case cases[] = {
        {makeAction("http://web.orvi.test/attachment/1"), PolicyDecision::cancel, true},
        {makeAction("http://web.orvi.test/attachment/1", NavigationType::other), PolicyDecision::cancel,
         true},
        {makeAction("http://web.orvi.test/attachment/1", NavigationType::other, std::nullopt),
         PolicyDecision::cancel, true},
        {makeAction("http://web.orvi.test/attachment/1", NavigationType::formSubmitted),
         PolicyDecision::allow, false},
        {makeAction("http://web.orvi.test/attachment/1", NavigationType::reload), PolicyDecision::allow,
         false},
        {makeAction("http://web.orvi.test/attachment/1", NavigationType::backForward), PolicyDecision::allow,
         false},
        {makeAction("http://files.orvi.test/x/photo.jpg", NavigationType::linkActivated, false),
         PolicyDecision::cancel, true},
        // The engine's own download request wins over a manual one.
        {makeAction("http://web.orvi.test/attachment/1", NavigationType::linkActivated, true, true),
         PolicyDecision::download, false},
        {makeAction("http://elsewhere.example/a.png", NavigationType::linkActivated, true, true),
         PolicyDecision::download, false},
        // A file on a foreign host is handed to the engine as a download, never shown.
        {makeAction("http://elsewhere.example/archive.zip"), PolicyDecision::download, false},
        {makeAction("http://web.orvi.test/chat"), PolicyDecision::allow, false},
        {makeAction("http://elsewhere.example/"), PolicyDecision::cancel, false},
        {makeAction("http://app.orvi.test/"), PolicyDecision::cancel, false},
        {makeAction(""), PolicyDecision::cancel, false},
    };
    for (const auto& c : cases) {
        DeciderFixture f;
        EXPECT_EQ(f.decide(c.action), c.expected) << c.action.url;
        ASSERT_EQ(f.downloads.links.size(), c.manualDownload ? 1u : 0u) << c.action.url;
        if (c.manualDownload) {
            EXPECT_EQ(f.downloads.links[0].url, c.action.url);
            EXPECT_EQ(f.downloads.links[0].webView, &f.webView);
            EXPECT_FALSE(f.downloads.links[0].nameOverride);
        }
    }
}

TEST(NavigationDecider, ResponsesBecomeDownloadsByMimeDispositionAndHost) {
    struct Case {
        NavigationResponse response;
        PolicyDecision expected;
        bool manualFileDownload;
    };
    const Case cases[] = {
        // Media opens as a download from any host, in any frame.
        {makeResponse("http://elsewhere.example/p.png", "image/png"), PolicyDecision::download, false},
        {makeResponse("http://elsewhere.example/p.png", "IMAGE/PNG", false), PolicyDecision::download, false},
        {makeResponse("http://web.orvi.test/v", "video/mp4"), PolicyDecision::download, false},
        {makeResponse("", "audio/ogg", true, "", false), PolicyDecision::download, false},
        // Not HTTP, no URL or no host: allowed.
        {makeResponse("file:///tmp/a.pdf", "application/pdf", true, "", false), PolicyDecision::allow, false},
        {makeResponse("", "application/pdf"), PolicyDecision::allow, false},
        {makeResponse("about:blank", "text/html"), PolicyDecision::allow, false},
        // Download hosts: HTML without attachment is refused, everything else is a file.
        {makeResponse("http://download.orvi.test/", "text/html"), PolicyDecision::cancel, false},
        {makeResponse("http://download.orvi.test/", "text/html; charset=utf-8", false),
         PolicyDecision::cancel, false},
        {makeResponse("http://download.orvi.test/app", "text/html", true, "attachment; filename=a.html"),
         PolicyDecision::download, false},
        {makeResponse("http://download.orvi.test/app.pdf", "application/pdf"), PolicyDecision::download,
         false},
        {makeResponse("http://files.orvi.test/x", "text/plain"), PolicyDecision::download, false},
        {makeResponse("http://files.orvi.test/x", "text/plain", false), PolicyDecision::cancel, true},
        // Other hosts under the service domain: attachment, binary or a file URL.
        {makeResponse("http://web.orvi.test/page", "text/html"), PolicyDecision::allow, false},
        {makeResponse("http://web.orvi.test/api/messages", "application/json"), PolicyDecision::allow, false},
        {makeResponse("http://web.orvi.test/x", "text/plain", true, "ATTACHMENT"), PolicyDecision::download,
         false},
        {makeResponse("http://web.orvi.test/x", "text/plain", true, "inline"), PolicyDecision::allow, false},
        {makeResponse("http://web.orvi.test/x", "application/octet-stream"), PolicyDecision::download, false},
        {makeResponse("http://web.orvi.test/x", "application/octet-stream", false), PolicyDecision::cancel,
         true},
        {makeResponse("http://web.orvi.test/attachment/1", "text/plain"), PolicyDecision::download, false},
        {makeResponse("http://web.orvi.test/app.js", "application/javascript"), PolicyDecision::download,
         false},
        // Foreign hosts are left alone whatever they send.
        {makeResponse("http://elsewhere.example/a.zip", "application/zip"), PolicyDecision::allow, false},
        {makeResponse("http://elsewhere.example/a", "text/plain", true, "attachment"), PolicyDecision::allow,
         false},
    };
    for (const auto& c : cases) {
        DeciderFixture f;
        EXPECT_EQ(f.decide(c.response), c.expected) << c.response.url << " " << c.response.mimeType;
        ASSERT_EQ(f.downloads.files.size(), c.manualFileDownload ? 1u : 0u) << c.response.url;
        if (c.manualFileDownload) {
            EXPECT_EQ(f.downloads.files[0].response.url, c.response.url);
        }
    }
}
