#include "engine/webkit/WebKitWebViewAdapter.h"
#include "integration/WebKitTestSupport.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using engine::World;

TEST(WebKitScripts, WorldsStaySeparateAndCallsAnswerOnceWithTheirResultThePagesErrorOrATimeOut) {
    TestPage page;
    page.view->addUserScript({"window.__fromPageScript = 'page';", engine::InjectionTime::documentStart,
                              engine::FrameScope::mainFrameOnly, World::page});
    page.view->addUserScript({"window.__fromClientScript = 'client';", engine::InjectionTime::documentStart,
                              engine::FrameScope::mainFrameOnly, World::client});
    ASSERT_TRUE(loadAndWait(*page.view, page.nav, page.env.service->webURL("/echo")));
    ASSERT_TRUE(evaluate(*page.view, "window.__orviSecret = 42; true", World::client).ok());

    struct Case {
        const char* script;
        World world;
        Json expected;
    };
    const Case cases[] = {
        {"typeof window.__orviSecret", World::page, "undefined"},
        {"window.__orviSecret", World::client, 42},
        {"typeof window.__fromClientScript", World::page, "undefined"},
        {"window.__fromClientScript", World::client, "client"},
        {"window.__fromPageScript", World::page, "page"},
        {"typeof window.__fromPageScript", World::client, "undefined"},
        // Both worlds see the same document.
        {"document.title", World::client, "Echo"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(valueOf(*page.view, c.script, c.world), c.expected) << c.script;
    }

    // Message handlers receive what each world posts, as JSON.
    std::vector<Json> pageMessages;
    std::vector<Json> clientMessages;
    page.view->addScriptMessageHandler("pageHandler", World::page,
                                       [&](const Json& body) { pageMessages.push_back(body); });
    page.view->addScriptMessageHandler("clientHandler", World::client,
                                       [&](const Json& body) { clientMessages.push_back(body); });

    ASSERT_TRUE(
        evaluate(*page.view,
                 "window.webkit.messageHandlers.pageHandler.postMessage({count: 3, name: 'Анна', "
                 "list: [true, null, 1.5]}); window.webkit.messageHandlers.pageHandler.postMessage('plain'); "
                 "true")
            .ok());
    ASSERT_TRUE(evaluate(*page.view, "window.webkit.messageHandlers.clientHandler.postMessage(7); true",
                         World::client)
                    .ok());
    EXPECT_EQ(valueOf(*page.view, "typeof window.webkit.messageHandlers.clientHandler"), "undefined");
    runMainLoopUntil([&] { return pageMessages.size() == 2 && clientMessages.size() == 1; });

    ASSERT_EQ(pageMessages.size(), 2u);
    EXPECT_EQ(pageMessages[0],
              (Json{{"count", 3}, {"name", "Анна"}, {"list", Json::array({true, nullptr, 1.5})}}));
    EXPECT_EQ(pageMessages[1], "plain");
    EXPECT_EQ(clientMessages, std::vector<Json>{7});

    page.view->removeScriptMessageHandler("pageHandler");
    EXPECT_EQ(valueOf(*page.view, "window.webkit && window.webkit.messageHandlers.pageHandler ? 1 : 0"), 0);

    // Async calls await their result; failures carry the page's message and kind.
    struct Failure {
        const char* name;
        std::function<engine::ScriptResult()> run;
        int code;
        std::string message;
    };
    auto& view = *page.view;
    const Failure failures[] = {
        {"thrown error", [&] { return evaluate(view, "throw new Error('boom: at once')"); },
         engine::kJavaScriptExceptionCode, "Error: boom: at once"},
        {"thrown in client world", [&] { return evaluate(view, "null.x", World::client); },
         engine::kJavaScriptExceptionCode, "TypeError: null is not an object (evaluating 'null.x')"},
        {"rejected promise", [&] { return callAsync(view, "throw new Error('nope');", Json::object()); },
         engine::kJavaScriptExceptionCode, "Error: nope"},
        {"DOM node result", [&] { return evaluate(view, "document.body"); },
         engine::kJavaScriptResultTypeUnsupportedCode, ""},
        {"arguments not an object", [&] { return callAsync(view, "return 1;", Json::array({1})); },
         engine::kJavaScriptInvalidArgumentsCode, ""},
        {"argument name not an identifier",
         [&] {
             return callAsync(view, "return 1;", Json{{"a-b", 1}});
         },
         engine::kJavaScriptInvalidArgumentsCode, ""},
    };
    for (const auto& c : failures) {
        auto result = c.run();
        ASSERT_FALSE(result.ok()) << c.name;
        EXPECT_EQ(result.error().domain, engine::kJavaScriptErrorDomain) << c.name;
        EXPECT_EQ(result.error().code, c.code) << c.name << ": " << result.error().message;
        if (!c.message.empty()) {
            EXPECT_EQ(result.error().message, c.message) << c.name;
        }
    }

    auto result =
        callAsync(*page.view,
                  "await new Promise(r => setTimeout(r, 10));"
                  "return {sum: count + 1, first: items[0], nested: options.deep.value, none: nothing, "
                  "flag: !enabled, title: document.title};",
                  Json{{"count", 41},
                       {"items", Json::array({"a", "b"})},
                       {"options", Json{{"deep", Json{{"value", "x"}}}}},
                       {"nothing", nullptr},
                       {"enabled", false}},
                  World::client);
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(result.value(), (Json{{"sum", 42},
                                    {"first", "a"},
                                    {"nested", "x"},
                                    {"none", nullptr},
                                    {"flag", true},
                                    {"title", "Echo"}}));

    // A promise that never settles is answered once, on time-out or when the view goes away.
    auto& adapter = dynamic_cast<engine::webkit::WebKitWebViewAdapter&>(*page.view);
    adapter.setScriptTimeout(std::chrono::milliseconds(300));
    for (const auto expectedCode : {engine::kJavaScriptTimedOutCode, engine::kWebViewInvalidatedCode}) {
        int calls = 0;
        std::optional<engine::ScriptResult> result;
        page.view->callAsyncJavaScript("await new Promise(() => {});", Json::object(), World::page,
                                       [&](engine::ScriptResult answer) {
                                           ++calls;
                                           result.emplace(std::move(answer));
                                       });
        if (expectedCode == engine::kWebViewInvalidatedCode) {
            page.view->setNavigationDelegate(nullptr);
            page.view.reset();
            EXPECT_EQ(calls, 0) << "not answered from inside the destructor";
        }
        runMainLoopUntil([&] { return result.has_value(); }, std::chrono::seconds(5));
        runMainLoopFor(std::chrono::milliseconds(300));
        EXPECT_EQ(calls, 1) << expectedCode;
        ASSERT_TRUE(result.has_value());
        ASSERT_FALSE(result->ok());
        EXPECT_EQ(result->error().code, expectedCode);
    }
}
