#include "core/web/policy/NavigationDecider.h"
#include "fakes/RecordingManualDownloadStarter.h"
#include "integration/WebKitTestSupport.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

namespace {

// Routes the web view's decisions through the decider, as the coordinator does.
struct DecidedPage {
    DecidedPage() {
        fixture.navigation.actionDecision = [this](const engine::NavigationAction& action) {
            engine::PolicyDecision decision = engine::PolicyDecision::allow;
            decider.decideAction(*view, action, [&](engine::PolicyDecision d) { decision = d; });
            actionDecisions.emplace_back(action.url, decision);
            return decision;
        };
    }

    std::optional<engine::PolicyDecision> actionFor(const std::string& url) const {
        for (const auto& [seen, decision] : actionDecisions)
            if (seen == url)
                return decision;
        return std::nullopt;
    }

    WebFixture fixture;
    NavigationPolicyService policy{fixture.domains};
    RecordingManualDownloadStarter downloads;
    NavigationDecider decider{policy, fixture.domains, downloads};
    Profile profile = WebFixture::makeProfile("Work", LocationSettings::defaultLocation());
    std::shared_ptr<engine::WebView> view = fixture.open(profile, profile.locationSettings);
    std::vector<std::pair<std::string, engine::PolicyDecision>> actionDecisions;
};

} // namespace

TEST(NavigationDecisions, AFactoryViewCarriesTheLinuxAgentLeavesAnOldParentAndDecidesFileLinksAndTheLanding) {
    DecidedPage page;
    // Opening a service file link starts a manual download instead.
    const std::string photo = "http://files.orvi.test/images/photo.png";
    page.view->load(engine::Request{photo});
    ASSERT_TRUE(runMainLoopUntil([&] { return !page.downloads.links.empty(); }));
    EXPECT_EQ(page.actionFor(photo), engine::PolicyDecision::cancel);
    EXPECT_EQ(page.downloads.links[0].url, photo);
    EXPECT_EQ(page.downloads.links[0].webView, page.view.get());

    const std::string landing = "http://app.orvi.test/";
    ASSERT_TRUE(loadAndWait(*page.view, page.fixture.navigation, page.fixture.webURL("/echo")));
    const std::string agent = WebViewFactory::yandexBrowserUserAgent();
    EXPECT_EQ(evaluate(*page.view, "navigator.userAgent").value(), agent);
    const auto echoes = page.fixture.env.service->requestsTo("web.orvi.test", "/echo");
    ASSERT_EQ(echoes.size(), 1u);
    EXPECT_EQ(echoes[0].header("User-Agent"), agent);
    evaluate(*page.view, "const a = document.createElement('a'); a.id = 'get-app'; a.href = '" + landing +
                             "'; a.textContent = 'app'; document.body.appendChild(a); a.click(); true");
    ASSERT_TRUE(runMainLoopUntil([&] { return page.actionFor(landing).has_value(); }));
    EXPECT_EQ(page.actionFor(landing), engine::PolicyDecision::cancel);
    runMainLoopFor(std::chrono::milliseconds(300));
    EXPECT_EQ(page.view->url(), page.fixture.webURL("/echo"));
    EXPECT_TRUE(page.fixture.env.service->requestsTo("app.orvi.test", "/").empty());
    EXPECT_TRUE(page.fixture.env.service->requestsTo("files.orvi.test", "/images/photo.png").empty());

    // A cached view handed out again leaves its old parent and stays usable.
    GtkWidget* box = g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    gtk_box_append(GTK_BOX(box), engine::webkit::WebKitEngine::widget(*page.view));
    ASSERT_TRUE(page.view->isInViewHierarchy());
    EXPECT_EQ(page.fixture.factory->makeWebView(page.profile, std::nullopt), page.view);
    EXPECT_FALSE(page.view->isInViewHierarchy());
    EXPECT_EQ(gtk_widget_get_first_child(box), nullptr);
    ASSERT_TRUE(loadAndWait(*page.view, page.fixture.navigation, page.fixture.webURL("/echo?again")));
    g_object_unref(box);
}
