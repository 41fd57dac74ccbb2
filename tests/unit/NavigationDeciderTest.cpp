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

    // Every decision given before the call returns: exactly one is right.
    template <typename Input> std::vector<PolicyDecision> decide(const Input& input) {
        std::vector<PolicyDecision> decisions;
        auto handler = [&](PolicyDecision d) { decisions.push_back(d); };
        if constexpr (std::is_same_v<Input, NavigationAction>)
            decider.decideAction(webView, input, handler);
        else
            decider.decideResponse(webView, input, handler);
        return decisions;
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
    using enum PolicyDecision;
    using enum NavigationType;
    struct Case {
        NavigationAction action;
        PolicyDecision expected;
        bool manualDownload = false;
    };
    const Case cases[] = {
        {makeAction("http://web.orvi.test/attachment/1"), cancel, true},
        {makeAction("http://web.orvi.test/attachment/1", other), cancel, true},
        {makeAction("http://web.orvi.test/attachment/1", other, std::nullopt), cancel, true},
        {makeAction("http://web.orvi.test/attachment/1", formSubmitted), allow},
        {makeAction("http://web.orvi.test/attachment/1", reload), allow},
        {makeAction("http://web.orvi.test/attachment/1", backForward), allow},
        {makeAction("http://files.orvi.test/x/photo.jpg", linkActivated, false), cancel, true},
        // The engine's own download request wins over a manual one.
        {makeAction("http://web.orvi.test/attachment/1", linkActivated, true, true), download},
        {makeAction("http://elsewhere.example/a.png", linkActivated, true, true), download},
        // A file on a foreign host is handed to the engine as a download, never shown.
        {makeAction("http://elsewhere.example/archive.zip"), download},
        {makeAction("http://web.orvi.test/chat"), allow},
        {makeAction("http://elsewhere.example/"), cancel},
        {makeAction(""), cancel},
    };
    for (const auto& c : cases) {
        DeciderFixture f;
        EXPECT_EQ(f.decide(c.action), std::vector{c.expected}) << c.action.url;
        ASSERT_EQ(f.downloads.links.size(), c.manualDownload ? 1u : 0u) << c.action.url;
        if (c.manualDownload) {
            EXPECT_EQ(f.downloads.links[0].url, c.action.url);
            EXPECT_EQ(f.downloads.links[0].webView, &f.webView);
            EXPECT_FALSE(f.downloads.links[0].nameOverride);
        }
    }
}

TEST(NavigationDecider, ResponsesBecomeDownloadsByMimeDispositionAndHost) {
    using enum PolicyDecision;
    struct Case {
        NavigationResponse response;
        PolicyDecision expected;
        bool manualFileDownload = false;
    };
    const Case cases[] = {
        // Media opens as a download from any host, in any frame.
        {makeResponse("http://elsewhere.example/p.png", "image/png"), download},
        {makeResponse("http://elsewhere.example/p.png", "IMAGE/PNG", false), download},
        {makeResponse("http://web.orvi.test/v", "video/mp4"), download},
        {makeResponse("", "audio/ogg", true, "", false), download},
        // Not HTTP, no URL or no host: allowed.
        {makeResponse("file:///tmp/a.pdf", "application/pdf", true, "", false), allow},
        {makeResponse("", "application/pdf"), allow},
        {makeResponse("about:blank", "text/html"), allow},
        // Download hosts: HTML without attachment is refused, everything else is a file.
        {makeResponse("http://download.orvi.test/", "text/html"), cancel},
        {makeResponse("http://download.orvi.test/", "text/html; charset=utf-8", false), cancel},
        {makeResponse("http://download.orvi.test/app", "text/html", true, "attachment; filename=a.html"),
         download},
        {makeResponse("http://download.orvi.test/app.pdf", "application/pdf"), download},
        {makeResponse("http://files.orvi.test/x", "text/plain"), download},
        {makeResponse("http://files.orvi.test/x", "text/plain", false), cancel, true},
        // Other hosts under the service domain: attachment, binary or a file URL.
        {makeResponse("http://web.orvi.test/page", "text/html"), allow},
        {makeResponse("http://web.orvi.test/api/messages", "application/json"), allow},
        {makeResponse("http://web.orvi.test/x", "text/plain", true, "ATTACHMENT"), download},
        {makeResponse("http://web.orvi.test/x", "text/plain", true, "inline"), allow},
        {makeResponse("http://web.orvi.test/x", "application/octet-stream"), download},
        {makeResponse("http://web.orvi.test/x", "application/octet-stream", false), cancel, true},
        {makeResponse("http://web.orvi.test/attachment/1", "text/plain"), download},
        {makeResponse("http://web.orvi.test/app.js", "application/javascript"), download},
        // Foreign hosts are left alone whatever they send.
        {makeResponse("http://elsewhere.example/a.zip", "application/zip"), allow},
        {makeResponse("http://elsewhere.example/a", "text/plain", true, "attachment"), allow},
    };
    for (const auto& c : cases) {
        DeciderFixture f;
        EXPECT_EQ(f.decide(c.response), std::vector{c.expected})
            << c.response.url << " " << c.response.mimeType;
        ASSERT_EQ(f.downloads.files.size(), c.manualFileDownload ? 1u : 0u) << c.response.url;
        if (c.manualFileDownload) {
            EXPECT_EQ(f.downloads.files[0].response.url, c.response.url);
        }
    }
}
