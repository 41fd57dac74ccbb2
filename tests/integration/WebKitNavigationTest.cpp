#include "integration/WebKitTestSupport.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using engine::NavigationType;
using engine::PolicyDecision;

TEST(WebKitNavigation, ActionsCarryTheirKindAndTarget) {
    engine::WebViewConfiguration configuration;
    configuration.javaScriptCanOpenWindowsAutomatically = true;
    TestPage page(configuration);
    auto& view = *page.view;
    ASSERT_TRUE(loadAndWait(view, page.nav, page.env.service->webURL("/links")));

    // A step that opens a new window loads nothing here: the delegate is asked exactly once.
    struct Step {
        const char* name;
        std::function<void()> act;
        NavigationType type;
        std::string path;
        bool opensNewWindow;
    };
    auto run = [&](const std::string& script) { return [&view, script] { (void)evaluate(view, script); }; };
    const Step steps[] = {
        {"load", [&] { view.load(engine::Request{page.env.service->webURL("/echo?from=load")}); },
         NavigationType::other, "/echo?from=load", false},
        {"back", run("history.back()"), NavigationType::backForward, "/links", false},
        {"link", run("document.getElementById('link').click()"), NavigationType::linkActivated,
         "/echo?from=link", false},
        {"reload", [&] { view.reload(); }, NavigationType::reload, "/echo?from=link", false},
        {"back again", run("history.back()"), NavigationType::backForward, "/links", false},
        {"form", run("document.getElementById('form').submit()"), NavigationType::formSubmitted,
         "/echo?from=form", false},
        {"back after the form", run("history.back()"), NavigationType::backForward, "/links", false},
        {"new window link", run("document.getElementById('blank').click(); true"),
         NavigationType::linkActivated, "/echo?from=blank", true},
        {"new window", run("window.open('/echo?from=open'); true"), NavigationType::other, "/echo?from=open",
         true},
    };
    for (const auto& step : steps) {
        auto actionsBefore = page.nav.actions.size();
        int finishedBefore = page.nav.finished;
        step.act();
        const std::string url = "http://web.orvi.test" + step.path;
        if (!step.opensNewWindow) {
            ASSERT_TRUE(waitForFinish(page.nav, finishedBefore)) << step.name;
        } else {
            runMainLoopUntil([&] { return page.nav.actions.size() > actionsBefore; },
                             std::chrono::seconds(5));
            runMainLoopFor(std::chrono::milliseconds(200));
            EXPECT_EQ(page.nav.actions.size(), actionsBefore + 1) << step.name;
        }
        ASSERT_GT(page.nav.actions.size(), actionsBefore) << step.name;
        const auto& action = page.nav.actions.back();
        EXPECT_EQ(action.navigationType, step.type) << step.name;
        EXPECT_EQ(action.url, url) << step.name;
        EXPECT_EQ(action.opensNewWindow, step.opensNewWindow) << step.name;
        if (!step.opensNewWindow) {
            EXPECT_EQ(view.url(), url) << step.name;
        }
    }
}

TEST(WebKitNavigation, ResponsesCarryStatusHeadersAndTheSuggestedFileName) {
    TestPage page;
    page.nav.responseDecision = [](const engine::NavigationResponse& response) {
        return response.mimeType == "text/html" ? PolicyDecision::allow : PolicyDecision::cancel;
    };
    struct Case {
        std::string url;
        std::string mimeType;
        std::optional<std::string> suggestedFilename;
        std::optional<std::string> disposition;
    };
    const Case cases[] = {
        {"http://download.orvi.test/files/archive.zip?as=archive.zip", "application/zip", "archive.zip",
         "attachment; filename=\"archive.zip\""},
        {"http://files.orvi.test/files/notes.txt?inline=1", "text/plain", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        auto before = page.nav.responses.size();
        auto failuresBefore = page.nav.provisionalFailures.size();
        page.view->load(engine::Request{c.url});
        ASSERT_TRUE(runMainLoopUntil([&] { return page.nav.provisionalFailures.size() > failuresBefore; }))
            << c.url << ": a cancelled response ends the load with a failure";
        ASSERT_EQ(page.nav.responses.size(), before + 1) << c.url;
        const auto& response = page.nav.responses.back();
        EXPECT_EQ(page.nav.provisionalFailures.back().code,
                  engine::kWebKitErrorFrameLoadInterruptedByPolicyChange);
        EXPECT_EQ(response.url, c.url);
        EXPECT_TRUE(response.isHTTP);
        EXPECT_EQ(response.statusCode, 200);
        EXPECT_TRUE(response.isForMainFrame);
        EXPECT_EQ(response.mimeType, c.mimeType);
        EXPECT_EQ(response.suggestedFilename, c.suggestedFilename) << c.url;
        EXPECT_EQ(response.header("content-disposition"), c.disposition) << c.url;
    }

    auto before = page.nav.responses.size();
    ASSERT_TRUE(loadAndWait(*page.view, page.nav, page.env.service->webURL("/echo")));
    ASSERT_TRUE(evaluate(*page.view, "const f = document.createElement('iframe'); f.src = '/echo?frame=1'; "
                                     "document.body.appendChild(f); true")
                    .ok());
    ASSERT_TRUE(runMainLoopUntil([&] { return page.nav.responses.size() == before + 2; }));
    EXPECT_TRUE(page.nav.responses[before].isForMainFrame);
    EXPECT_FALSE(page.nav.responses[before + 1].isForMainFrame);
    EXPECT_EQ(page.nav.responses[before + 1].url, "http://web.orvi.test/echo?frame=1");
}

TEST(WebKitNavigation, FailedAndUndecidedLoadsAreReportedAsSuchAndNeverAsAFinish) {
    TestPage page;
    page.view->load(engine::Request{page.env.service->webURL("/hang")});
    runMainLoopUntil([&] { return !page.env.service->requestsTo("web.orvi.test", "/hang").empty(); });
    page.view->stopLoading();
    ASSERT_TRUE(runMainLoopUntil([&] { return !page.nav.provisionalFailures.empty(); }));
    EXPECT_EQ(page.nav.provisionalFailures[0].domain, engine::kURLErrorDomain);
    EXPECT_EQ(page.nav.provisionalFailures[0].code, engine::kURLErrorCancelled);

    page.view->load(engine::Request{page.env.service->webURL("/hang?2"), {}, {}, 0.5});
    ASSERT_TRUE(
        runMainLoopUntil([&] { return page.nav.provisionalFailures.size() > 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(page.nav.provisionalFailures[1],
              (Error{engine::kURLErrorDomain, engine::kURLErrorTimedOut, "The request timed out."}));
    EXPECT_EQ(page.nav.finished, 0);
    EXPECT_TRUE(page.nav.failures.empty());

    // A later load is not hit by the earlier time-out.
    ASSERT_TRUE(
        loadAndWait(*page.view, page.nav, engine::Request{page.env.service->webURL("/echo"), {}, {}, 0.5}));
    runMainLoopFor(std::chrono::milliseconds(700));
    EXPECT_EQ(page.nav.provisionalFailures.size(), 2u);

    // A failure after the commit is no finish.
    const int finishedBefore = page.nav.finished;
    const int committedBefore = page.nav.committed;
    page.view->load(engine::Request{page.env.service->webURL("/stall")});
    ASSERT_TRUE(runMainLoopUntil([&] { return page.nav.committed > committedBefore; }));
    page.view->stopLoading();
    ASSERT_TRUE(runMainLoopUntil([&] { return !page.nav.failures.empty(); }));
    runMainLoopFor(std::chrono::milliseconds(300));
    EXPECT_EQ(page.nav.failures[0].code, engine::kURLErrorCancelled);
    EXPECT_EQ(page.nav.provisionalFailures.size(), 2u);
    EXPECT_EQ(page.nav.finished, finishedBefore) << "WebKit's closing event after a failure is not a success";

    // A decision dropped unanswered, or answered after the view is gone, loads nothing.
    page.nav.holdActions = true;
    const int finishesBeforeHold = page.nav.finished;
    const auto echoesBefore = page.env.service->requestsTo("web.orvi.test", "/echo").size();
    page.view->load(engine::Request{page.env.service->webURL("/echo")});
    ASSERT_TRUE(runMainLoopUntil([&] { return bool(page.nav.heldAction); }));
    page.nav.heldAction = nullptr;
    runMainLoopFor(std::chrono::milliseconds(500));
    EXPECT_EQ(page.nav.finished, finishesBeforeHold) << "dropped unanswered";
    EXPECT_EQ(page.env.service->requestsTo("web.orvi.test", "/echo").size(), echoesBefore);
    EXPECT_FALSE(page.view->isLoading());

    page.view->load(engine::Request{page.env.service->webURL("/echo?2")});
    ASSERT_TRUE(runMainLoopUntil([&] { return bool(page.nav.heldAction); }));
    const int eventsBefore = page.nav.started + page.nav.finished;
    page.view.reset();
    page.nav.heldAction(PolicyDecision::allow);
    page.nav.heldAction(PolicyDecision::cancel);
    runMainLoopFor(std::chrono::milliseconds(500));
    EXPECT_EQ(page.nav.started + page.nav.finished, eventsBefore)
        << "no event reaches anyone after the view is gone";
}

TEST(WebKitNavigation, APrewarmedViewLoadsItsFirstPageAsIfNothingCameBefore) {
    // The first page is asked for while the blank page is still on its way, or after it.
    for (const auto wait : {Duration::zero(), Duration(std::chrono::milliseconds(1500))}) {
        SCOPED_TRACE(wait.count());
        TestPage page;
        auto& view = *page.view;
        view.prewarm();
        runMainLoopFor(wait);
        view.prewarm();
        EXPECT_EQ(view.url(), "") << "the blank page is no page";
        EXPECT_EQ(page.nav.started, 0);
        EXPECT_TRUE(page.nav.actions.empty());

        ASSERT_TRUE(loadAndWait(view, page.nav, page.env.service->webURL("/echo")));
        EXPECT_EQ(view.url(), page.env.service->webURL("/echo"));
        EXPECT_EQ(page.nav.started, 1);
        EXPECT_EQ(page.nav.finished, 1);
        EXPECT_TRUE(page.nav.provisionalFailures.empty());
        ASSERT_EQ(page.nav.actions.size(), 1u);
        EXPECT_EQ(page.nav.actions[0].url, page.env.service->webURL("/echo"));

        // A blank page of the application's own still reaches the delegate.
        const int finished = page.nav.finished;
        view.loadHTMLString("<p>blank</p>", "");
        EXPECT_TRUE(runMainLoopUntil([&] { return page.nav.finished > finished; }));
    }
}
