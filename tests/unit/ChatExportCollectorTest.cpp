#include "core/chat/ChatExportCollector.h"

#include "fakes/FakeEngine.h"
#include "fakes/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::ChatExportCollector;
using orvi::ChatExportOptions;
using orvi::ChatHistory;
using orvi::Json;
using orvi::engine::ScriptResult;

namespace {

constexpr const char* kModule = "/* module */";
constexpr const char* kStep = "window.__orviChatExport.step()";
constexpr const char* kCleanup = "window.__orviChatExport?.cleanup()";

std::string transcriptText(int messages) {
    auto transcript =
        Json::parse(R"({"title":"Анна","exportedAt":"now","completeness":"","note":"","messages":[]})");
    auto message =
        Json::parse(R"({"author":"","direction":"incoming","dateLabel":"","timeLabel":"","hasMedia":false})");
    for (int i = 0; i < messages; ++i) {
        message["text"] = "m" + std::to_string(i);
        transcript["messages"].push_back(message);
    }
    return transcript.dump();
}

ScriptResult pageError(const std::string& message, int code = orvi::engine::kJavaScriptExceptionCode) {
    return ScriptResult(orvi::Error{orvi::engine::kJavaScriptErrorDomain, code, message});
}

struct CollectorHarness {
    CollectorHarness() {
        view->responder = [this](const std::string& script,
                                 orvi::engine::World) -> std::optional<ScriptResult> {
            if (script == kStep) {
                if (holdSteps)
                    return std::nullopt;
                const auto index = std::min(stepsAnswered++, steps.size() - 1);
                return ScriptResult(steps[index]);
            }
            if (script.rfind("window.__orviChatExport.configure(", 0) == 0 && configureAnswer)
                return *configureAnswer;
            if (script.rfind("window.__orviChatExport.finish(", 0) == 0)
                return finishAnswer;
            return ScriptResult(Json());
        };
        statusConnection =
            collector->status.subscribe([this](const std::string& s) { statuses.push_back(s); });
    }

    void start(ChatHistory history, ChatExportOptions options = {}) {
        collector->start(view, history, options);
        scheduler.runPending();
    }

    std::vector<std::string> scripts() const {
        std::vector<std::string> result;
        for (const auto& evaluation : view->evaluations) {
            EXPECT_EQ(evaluation.world, orvi::engine::World::client) << evaluation.script;
            result.push_back(evaluation.script);
        }
        return result;
    }
    std::size_t stepCount() const {
        const auto all = scripts();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), kStep));
    }

    orvi::test::ManualScheduler scheduler;
    std::optional<std::string> module = kModule;
    std::shared_ptr<ChatExportCollector> collector =
        ChatExportCollector::create(scheduler, [this] { return module; });
    std::shared_ptr<orvi::test::FakeWebView> view = std::make_shared<orvi::test::FakeWebView>(
        orvi::engine::WebViewConfiguration{std::make_shared<orvi::test::FakeDataStore>(false)});
    std::vector<Json> steps = {Json{{"count", 10}}};
    std::size_t stepsAnswered = 0;
    bool holdSteps = false;
    std::optional<ScriptResult> configureAnswer;
    ScriptResult finishAnswer = ScriptResult(Json(transcriptText(3)));
    std::vector<std::string> statuses;
    orvi::Connection statusConnection;
};

struct ChatExportCollectorTest : ::testing::Test, CollectorHarness {};

} // namespace

TEST_F(ChatExportCollectorTest, DoneOnTheFirstStepFinishesWithoutSleeping) {
    steps = {Json{{"count", 5}, {"done", true}}};
    start(ChatHistory::loadOlder, {0, 21, 3});
    EXPECT_EQ(scripts(), (std::vector<std::string>{kModule, "window.__orviChatExport.configure(0, 31)", kStep,
                                                   "window.__orviChatExport.finish(false)", kCleanup}));
    EXPECT_EQ(scheduler.elapsed(), 0.0);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
    EXPECT_TRUE(collector->transcript());
}

TEST_F(ChatExportCollectorTest, StepsEveryTickAndReportsProgressLines) {
    steps = {Json{{"phase", "down"}, {"count", 3}},
             Json{{"count", 30}},
             Json{{"phase", "recovering"}, {"count", 120}, {"attempt", 2}},
             Json{{"phase", "recovering"}, {"count", "7"}},
             Json{{"phase", "up"}, {"count", 150.5}, {"done", 1}},
             Json{{"count", 160}, {"done", true}, {"extra", "ignored"}}};
    start(ChatHistory::loadOlder, {4, 6, 3});
    scheduler.advance(10s);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Переход к последним сообщениям…", "Собрано сообщений: 30",
                                                  "Собрано сообщений: 120. Повторная попытка 2 из 4…",
                                                  "Собрано сообщений: 0. Повторная попытка 1 из 4…",
                                                  "Собрано сообщений: 0", "Собрано сообщений: 160",
                                                  "Собрано сообщений: 3"}));
    EXPECT_EQ(stepCount(), 6u);
    EXPECT_EQ(scripts().back(), kCleanup);
}

TEST_F(ChatExportCollectorTest, TheTimeLimitEndsALoopThatNeverFinishesAndSavesTheResult) {
    start(ChatHistory::loadOlder, {4, 6, 1});
    scheduler.advance(59s);
    EXPECT_TRUE(collector->running());
    scheduler.advance(5min);
    EXPECT_FALSE(collector->running());
    // Steps at 0, 0.7, ... 59.5 s: the 86th sleep ends past the minute.
    EXPECT_EQ(stepCount(), 86u);
    auto all = scripts();
    EXPECT_EQ(all[all.size() - 2], "window.__orviChatExport.finish(false)");
    EXPECT_TRUE(collector->transcript());
}

TEST_F(ChatExportCollectorTest, StopRequestSavesTheFragmentAfterTheCurrentSleep) {
    start(ChatHistory::loadOlder);
    scheduler.advance(1s);
    collector->requestStop();
    EXPECT_EQ(stepCount(), 2u);
    scheduler.advance(1s);
    EXPECT_EQ(stepCount(), 2u);
    EXPECT_EQ(scripts()[scripts().size() - 2], "window.__orviChatExport.finish(false)");
    EXPECT_TRUE(collector->transcript());
    EXPECT_FALSE(collector->running());
}

TEST_F(ChatExportCollectorTest, FailuresPublishOneTextAndStillCleanUp) {
    struct Case {
        const char* name;
        std::function<void(CollectorHarness&)> arrange;
        std::string error;
    };
    const std::string corrupt = "Модуль экспорта вернул данные в неожиданном виде.";
    const auto finishing = [](ScriptResult answer) {
        return [answer](CollectorHarness& t) { t.finishAnswer = answer; };
    };
    const Case cases[] = {
        {"module missing", [](auto& t) { t.module.reset(); }, "Не найден модуль экспорта."},
        {"configure throws", [](auto& t) { t.configureAnswer = pageError("boom in configure"); },
         "boom in configure"},
        {"step not an object", [](auto& t) { t.steps = {Json::array({1})}; }, corrupt},
        {"finish throws", finishing(pageError("late")), "late"},
        {"finish not a string", finishing(ScriptResult(Json{{"messages", 1}})), corrupt},
        {"page stops answering",
         finishing(pageError("did not answer", orvi::engine::kJavaScriptTimedOutCode)),
         "Страница ORVI не ответила вовремя."},
        {"no messages", finishing(ScriptResult(Json(transcriptText(0)))), "Не удалось собрать сообщения."},
    };
    for (const auto& c : cases) {
        CollectorHarness t;
        t.steps = {Json{{"count", 1}, {"done", true}}};
        c.arrange(t);
        t.start(ChatHistory::loadOlder);
        EXPECT_EQ(t.collector->error(), c.error) << c.name;
        EXPECT_FALSE(t.collector->transcript()) << c.name;
        EXPECT_FALSE(t.collector->running()) << c.name;
        EXPECT_EQ(t.scripts().back(), kCleanup) << c.name;
        if (t.configureAnswer) {
            EXPECT_EQ(t.stepCount(), 0u) << "a failed configure runs no step";
        }
    }

    CollectorHarness undecodable;
    undecodable.finishAnswer = ScriptResult(Json("{\"title\": \"x\"}"));
    undecodable.start(ChatHistory::onlyLoaded);
    ASSERT_TRUE(undecodable.collector->error());
    EXPECT_NE(undecodable.collector->error()->find("exportedAt"), std::string::npos);
}

TEST_F(ChatExportCollectorTest, CancellingDuringTheSleepPublishesNothing) {
    start(ChatHistory::loadOlder);
    scheduler.advance(0.3s);
    collector->cancel();
    EXPECT_FALSE(collector->running());
    scheduler.advance(5s);
    EXPECT_EQ(scripts(), (std::vector<std::string>{kModule, "window.__orviChatExport.configure(4, 9)", kStep,
                                                   kCleanup}));
    EXPECT_FALSE(collector->error());
    EXPECT_FALSE(collector->transcript());
}

TEST_F(ChatExportCollectorTest, CancellingWhileAStepRunsEndsWhenItAnswers) {
    holdSteps = true;
    start(ChatHistory::loadOlder);
    collector->cancel();
    EXPECT_TRUE(collector->running());
    ASSERT_EQ(view->heldCompletions.size(), 1u);
    view->heldCompletions[0](ScriptResult(Json{{"count", 9}}));
    EXPECT_FALSE(collector->running());
    EXPECT_TRUE(statuses.empty()) << "a cancelled run reports no more progress";
    EXPECT_EQ(scripts().back(), kCleanup);
    EXPECT_EQ(scripts().size(), 4u);
    EXPECT_FALSE(collector->error());
}

TEST_F(ChatExportCollectorTest, ACollectorGoneWhileAStepRunsStillCleansUpThePage) {
    holdSteps = true;
    start(ChatHistory::loadOlder);
    collector.reset();
    view->heldCompletions[0](ScriptResult(Json{{"count", 1}}));
    EXPECT_EQ(scripts().back(), kCleanup);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST_F(ChatExportCollectorTest, StartIsRefusedWhileRunningAndANewRunClearsTheOutcome) {
    start(ChatHistory::onlyLoaded);
    ASSERT_TRUE(collector->transcript());
    EXPECT_FALSE(collector->error());
    holdSteps = true;
    start(ChatHistory::loadOlder);
    EXPECT_TRUE(collector->running());
    EXPECT_FALSE(collector->transcript());
    EXPECT_EQ(collector->status(), "Собрано сообщений: 3") << "the last status stays";
    const auto scriptsSoFar = scripts().size();
    collector->start(nullptr, ChatHistory::loadOlder, {});
    EXPECT_FALSE(collector->error()) << "a second start changes nothing";
    EXPECT_EQ(scripts().size(), scriptsSoFar);
}
