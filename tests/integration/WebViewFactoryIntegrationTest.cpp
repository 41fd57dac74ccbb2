#include "engine/webkit/WebKitWebViewAdapter.h"
#include "integration/WebFixture.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

TEST(WebViewFactoryIntegration, PagesSeeTheLinuxUserAgentAndACachedViewLeavesItsOldParentWhenHandedOutAgain) {
    WebFixture fixture;
    const auto profile = fixture.makeProfile("Work", LocationSettings::defaultLocation());
    auto view = fixture.open(profile, profile.locationSettings);
    ASSERT_TRUE(loadAndWait(*view, fixture.navigation, fixture.webURL("/echo")));
    const std::string expected = WebViewFactory::yandexBrowserUserAgent();
    EXPECT_EQ(evaluate(*view, "navigator.userAgent").value(), expected);
    const auto requests = fixture.env.service->requestsTo("web.orvi.test", "/echo");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("User-Agent"), expected);

    auto* widget = static_cast<engine::webkit::WebKitWebViewAdapter&>(*view).widget();
    GtkWidget* box = g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    gtk_box_append(GTK_BOX(box), widget);
    ASSERT_TRUE(view->isInViewHierarchy());

    EXPECT_EQ(fixture.factory->makeWebView(profile, std::nullopt), view);
    EXPECT_FALSE(view->isInViewHierarchy());
    EXPECT_EQ(gtk_widget_get_first_child(box), nullptr);
    // Still usable after leaving its parent.
    ASSERT_TRUE(loadAndWait(*view, fixture.navigation, fixture.webURL("/echo?again")));
    g_object_unref(box);
}

TEST(ServiceEndpointsStartup, TheApplicationRefusesAnInvalidEndpointsFile) {
    TempDir folder;
    const auto path = folder.path() / "endpoints.json";
    std::ofstream(path) << R"({"scheme": "http", "webHost": "web.orvi.test", "colour": "blue"})";
    const std::string command =
        "ORVI_SERVICE_ENDPOINTS='" + path.string() + "' '" + std::string(ORVI_APP_BINARY) + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (const auto read = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, read);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(
        output.find("❌ Invalid service endpoints file " + path.string() + ": unknown member \"colour\""),
        std::string::npos)
        << output;
}
