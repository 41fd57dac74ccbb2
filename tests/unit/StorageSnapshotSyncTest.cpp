#include "SessionTestSupport.h"

using namespace orvi;
using namespace orvi::test;

namespace {

constexpr const char* kSnapshot =
    R"({"localStorage":{"token":"t'o\\k","другой":"значение"},"sessionStorage":{"s":"1"}})";

class StorageSnapshotSyncTest : public SessionFixture {
protected:
    void save() {
        storageSync->saveStorage(profile, view, [this] { ++doneCount; });
    }
    void restore() {
        storageSync->restoreStorage(profile, view, [this] { ++doneCount; });
    }
};

} // namespace

TEST_F(StorageSnapshotSyncTest, SavesExactlyTheCapturedTextAndAnEmptyPageOverwritesButABadAnswerDoesNot) {
    answerCaptureWith(kSnapshot);
    save();
    EXPECT_EQ(doneCount, 1);
    EXPECT_EQ(savedStorage(), kSnapshot);

    const engine::ScriptResult answers[] = {
        engine::ScriptResult(Error{"WKErrorDomain", 4, "boom"}),
        engine::ScriptResult(Json(42)),
        engine::ScriptResult(Json(R"({"localStorage":{}})")),
        engine::ScriptResult(Json(R"({"localStorage":{"a":1},"sessionStorage":{}})")),
        engine::ScriptResult(Json("not json")),
    };
    for (std::size_t i = 0; i < std::size(answers); ++i) {
        doneCount = 0;
        view->responder = [&](const std::string&, engine::World) { return std::optional(answers[i]); };
        save();
        EXPECT_EQ(doneCount, 1) << i;
        EXPECT_EQ(savedStorage(), kSnapshot) << i;
    }
    answerCaptureWith(R"({"localStorage":{},"sessionStorage":{}})");
    save();
    EXPECT_EQ(savedStorage(), R"({"localStorage":{},"sessionStorage":{}})");
}

TEST_F(StorageSnapshotSyncTest, RestoreRunsTheLocalThenTheSessionScriptAndCompletesAfterBoth) {
    prefs.setData(keys::storage(profile), kSnapshot);
    view->responder = [](const std::string&, engine::World) { return std::optional<engine::ScriptResult>(); };
    restore();
    ASSERT_EQ(view->heldCompletions.size(), 1u);
    EXPECT_NE(view->evaluations[0].script.find("localStorage.clear();"), std::string::npos);
    view->heldCompletions[0](engine::ScriptResult(Error{"WKErrorDomain", 4, "SyntaxError"}));
    EXPECT_EQ(doneCount, 0);
    ASSERT_EQ(view->heldCompletions.size(), 2u);
    EXPECT_NE(view->evaluations[1].script.find("sessionStorage.clear();"), std::string::npos);
    view->heldCompletions[1](engine::ScriptResult(Json()));
    EXPECT_EQ(doneCount, 1);
}

TEST_F(StorageSnapshotSyncTest, UnusableEntriesRestoreNothingAndCompleteAtOnce) {
    for (const std::string entry :
         {"", "[1]", R"({"localStorage":{}})", R"({"localStorage":{},"sessionStorage":[]})", "\xff\xfe"}) {
        doneCount = 0;
        if (entry.empty())
            prefs.remove(keys::storage(profile));
        else
            prefs.setData(keys::storage(profile), entry);
        restore();
        EXPECT_EQ(doneCount, 1) << entry;
        EXPECT_TRUE(view->evaluations.empty()) << entry;
    }
}

TEST_F(StorageSnapshotSyncTest, ALateCaptureOffTheServiceIsDroppedAndCompletionsRunOnceWhateverGoesAway) {
    prefs.setData(keys::storage(profile), kSnapshot);
    view->responder = [](const std::string&, engine::World) { return std::optional<engine::ScriptResult>(); };
    save();
    view->currentURL = "https://login.example.test/";
    view->heldCompletions.at(0)(engine::ScriptResult(Json(R"({"localStorage":{},"sessionStorage":{}})")));
    EXPECT_EQ(doneCount, 1);
    EXPECT_EQ(savedStorage(), kSnapshot);

    view->currentURL = kServicePage;
    save();
    restore();
    storageSync.reset();
    view.reset(); // drops the held answers without calling them
    scheduler.runPending();
    EXPECT_EQ(doneCount, 3);
    EXPECT_EQ(savedStorage(), kSnapshot);
}
