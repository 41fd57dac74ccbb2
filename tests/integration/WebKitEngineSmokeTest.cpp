#include "integration/WebKitTestSupport.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

// The imitation's own behaviour, which later tests rely on: the login form, the chat list
// with its counters and the "(N)" title that follows the server.
TEST(ImitationService, TheMessengerPageLogsInAndFollowsTheUnreadCounters) {
    WebKitTestEnvironment env;
    auto view = env.makeWebView(env.engine->nonPersistentDataStore());
    RecordingNavigationDelegate nav;
    view->setNavigationDelegate(&nav);
    ASSERT_TRUE(loadAndWait(*view, nav, env.service->webURL("/")));
    auto title = evaluate(*view, "document.title");
    ASSERT_TRUE(title.ok()) << title.error().message;
    EXPECT_EQ(title.value(), "ORVI — вход");

    int before = nav.finished;
    ASSERT_TRUE(evaluate(*view, "document.getElementById('login-button').click(); true").ok());
    ASSERT_TRUE(waitForFinish(nav, before));
    auto readTitle = [&] {
        auto result = evaluate(*view, "document.title");
        return result.ok() ? result.value().get<std::string>() : std::string();
    };
    EXPECT_TRUE(runMainLoopUntil([&] { return readTitle() == "(3) ORVI"; })) << readTitle();
    auto counters =
        evaluate(*view, "[...document.querySelectorAll('.chat .unread-counter')].map(e => e.textContent)");
    ASSERT_TRUE(counters.ok());
    EXPECT_EQ(counters.value(), Json::array({"2", "1"}));

    env.service->chats()[1].unread = 4;
    EXPECT_TRUE(runMainLoopUntil([&] { return readTitle() == "(7) ORVI"; })) << readTitle();
    ASSERT_TRUE(evaluate(*view, "window.orviImitation.setUnread(0, 0); true").ok());
    EXPECT_EQ(readTitle(), "(5) ORVI");

    auto login = env.service->requestsTo("web.orvi.test", "/login");
    ASSERT_EQ(login.size(), 1u);
    EXPECT_EQ(login[0].method, "POST");
    EXPECT_EQ(login[0].body, "user=alice");
    EXPECT_FALSE(env.service->requestsTo("files.orvi.test", "/images/photo.png").empty());
}
