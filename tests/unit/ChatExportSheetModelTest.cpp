#include "core/chat/ChatExportSheetModel.h"

#include "core/prefs/PreferenceKeys.h"
#include "fakes/FakeEngine.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using orvi::ChatExportSheetModel;
using orvi::Json;
using orvi::TranscriptFormat;
using orvi::engine::ScriptResult;
using orvi::test::readFile;
namespace keys = orvi::keys;

namespace {

struct ChatExportSheetModelTest : ::testing::Test {
    ChatExportSheetModelTest() {
        view->responder = [](const std::string& script, orvi::engine::World) -> std::optional<ScriptResult> {
            if (script.rfind("window.__orviChatExport.finish(", 0) == 0)
                return ScriptResult(Json(R"({"title":"Чат","exportedAt":"","completeness":"","note":"",
                    "messages":[{"text":"a/b","author":"","direction":"outgoing","dateLabel":"","timeLabel":"",
                    "hasMedia":false}]})"));
            if (script == "window.__orviChatExport.step()")
                return std::nullopt;
            return ScriptResult(Json());
        };
    }

    orvi::test::ManualScheduler scheduler;
    orvi::test::MemoryPreferencesStore preferences;
    std::shared_ptr<orvi::test::FakeWebView> view = std::make_shared<orvi::test::FakeWebView>(
        orvi::engine::WebViewConfiguration{std::make_shared<orvi::test::FakeDataStore>(false)});
    std::shared_ptr<orvi::engine::WebView> shown = view;
    std::shared_ptr<ChatExportSheetModel> model = ChatExportSheetModel::create(
        preferences, scheduler, [] { return std::optional<std::string>("module"); },
        [this] { return shown; });
};

} // namespace

TEST_F(ChatExportSheetModelTest, StoredOptionsAreClampedOnReadingAndWritingButLeftAsStored) {
    preferences.setInteger(keys::kChatExportRetryCount, 50);
    preferences.setInteger(keys::kChatExportWaitSeconds, 0);
    preferences.setInteger(keys::kChatExportDurationMinutes, 61);
    EXPECT_EQ(model->options(), (orvi::ChatExportOptions{20, 1, 60}));
    EXPECT_EQ(preferences.integer(keys::kChatExportRetryCount), 50);

    model->setRetryCount(-3);
    model->setWaitSeconds(7);
    model->setDurationMinutes(1000);
    EXPECT_EQ(preferences.integer(keys::kChatExportRetryCount), 0);
    EXPECT_EQ(preferences.integer(keys::kChatExportWaitSeconds), 7);
    EXPECT_EQ(preferences.integer(keys::kChatExportDurationMinutes), 60);

    preferences.setInteger(keys::kChatExportRetryCount, 50);
    model->history.set(true);
    model->startCollecting();
    scheduler.runPending();
    ASSERT_GE(view->evaluations.size(), 2u);
    EXPECT_EQ(view->evaluations[1].script, "window.__orviChatExport.configure(20, 10)");
}

TEST_F(ChatExportSheetModelTest,
       WithoutHistoryThePageIsTakenAndSavedInTheChosenFormatAndErrorsReplaceEachOther) {
    model->history.set(false);
    model->startCollecting();
    scheduler.runPending();
    EXPECT_EQ(view->evaluations[2].script, "window.__orviChatExport.finish(true)");
    ASSERT_TRUE(model->collector().transcript());
    EXPECT_TRUE(model->canDismissInteractively());

    orvi::test::TempDir dir;
    for (auto format : {TranscriptFormat::json, TranscriptFormat::html}) {
        model->format.set(format);
        std::optional<std::string> bytes;
        model->render([&](std::string rendered) { bytes = std::move(rendered); });
        scheduler.runPending();
        ASSERT_TRUE(bytes);
        const auto path = dir / model->suggestedFileName();
        ASSERT_TRUE(model->write(path, *bytes));
        EXPECT_EQ(readFile(path), *bytes);
    }
    EXPECT_EQ(orvi::parseJson(readFile(dir / "ORVI-переписка.json"))->at("messages")[0]["text"], "a/b");
    EXPECT_NE(readFile(dir / "ORVI-переписка.html").find("<article class=\"outgoing\">"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    EXPECT_FALSE(model->write(dir / "missing" / "x.html", "bytes"));
    ASSERT_TRUE(model->saveError());
    EXPECT_NE(model->saveError()->find("x.html"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    model->saveFailed("диск полон");
    EXPECT_EQ(model->errorText(), "диск полон");
    shown.reset();
    model->startCollecting();
    EXPECT_EQ(model->errorText(), "Откройте диалог ORVI.");
    EXPECT_FALSE(model->saveError());
}

TEST_F(ChatExportSheetModelTest, ClosingWhileCollectingCancelsAndCleansUp) {
    model->startCollecting();
    scheduler.advance(std::chrono::milliseconds(100));
    view->heldCompletions.back()(ScriptResult(Json{{"count", 1}}));
    model.reset();
    EXPECT_EQ(view->evaluations.back().script, "window.__orviChatExport?.cleanup()");
    scheduler.advance(std::chrono::seconds(5));
    EXPECT_EQ(view->evaluations.back().script, "window.__orviChatExport?.cleanup()");
}
