#include "integration/WebKitTestSupport.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

TEST(WebKitEngine, LoadsTheMessengerPageThroughTheProxy) {
    WebKitTestEnvironment env;
    auto view = env.makeWebView(env.engine->nonPersistentDataStore());
    RecordingNavigationDelegate nav;
    view->setNavigationDelegate(&nav);
    ASSERT_TRUE(loadAndWait(*view, nav, env.service->webURL("/")));
    auto title = evaluate(*view, "document.title");
    ASSERT_TRUE(title.ok()) << title.error().message;
    EXPECT_EQ(title.value(), "ORVI — вход");
    EXPECT_EQ(env.service->requestsTo("web.orvi.test", "/").size(), 1u);
}
