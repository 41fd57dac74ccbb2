#pragma once

#include "core/base/ProfileId.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieJarSync.h"
#include "core/session/SessionExport.h"
#include "core/session/SessionImport.h"
#include "core/session/StorageSnapshotSync.h"
#include "fakes/FakeEngine.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "support/TempDir.h"
#include "support/TestDomains.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace orvi::test {

inline engine::Cookie makeCookie(std::string name, std::string value, std::string domain = ".web.orvi.test",
                                 std::optional<double> expires = 1893456000.5) {
    return {std::move(name), std::move(value), std::move(domain), "/", true, true, expires};
}

inline constexpr const char* kServicePage = "https://web.orvi.test/chat";

class SessionFixture : public ::testing::Test {
protected:
    SessionFixture() {
        view->currentURL = kServicePage;
        jar = std::make_shared<CookieJarSync>(prefs, scheduler);
        storageSync = std::make_unique<StorageSnapshotSync>(prefs, scheduler, testDomains());
        exporter = makeExport(documents.path() / "Documents");
        importer = makeImport();
    }
    // Whatever a test left pending runs out here, so no completion is left behind in the
    // queue; tests keep their observations in members for that reason.
    ~SessionFixture() override {
        importer.reset();
        exporter.reset();
        storageSync.reset();
        jar.reset();
        view.reset();
        store.reset();
        scheduler.advance(std::chrono::hours(1));
    }

    std::unique_ptr<SessionExport> makeExport(std::filesystem::path documentsDir) {
        SessionEnvironment environment;
        environment.documentsDir = std::move(documentsDir);
        environment.domains = testDomains();
        environment.wallClock = [] {
            return std::chrono::system_clock::time_point(
                std::chrono::seconds(1769861100)); // 2026-01-31 12:05Z
        };
        return std::make_unique<SessionExport>(prefs, std::make_unique<CookieEncryption>(), scheduler,
                                               std::move(environment));
    }
    std::unique_ptr<SessionImport> makeImport() {
        return std::make_unique<SessionImport>(prefs, std::make_unique<CookieEncryption>(), scheduler, jar);
    }

    std::optional<std::string> savedCookies() const { return prefs.data(keys::cookies(profile)); }
    std::optional<std::string> savedStorage() const { return prefs.data(keys::storage(profile)); }

    void answerCaptureWith(const std::string& snapshotText) {
        view->responder = [snapshotText](const std::string& script,
                                         engine::World) -> std::optional<engine::ScriptResult> {
            if (script.find("JSON.stringify") != std::string::npos)
                return engine::ScriptResult(Json(snapshotText));
            return engine::ScriptResult(Json());
        };
    }

    ManualScheduler scheduler;
    LogCapture log;
    MemoryPreferencesStore prefs;
    TempDir documents;
    ProfileId profile = *ProfileId::parse("0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9");
    std::shared_ptr<FakeDataStore> store = std::make_shared<FakeDataStore>(true, "profile");
    std::shared_ptr<FakeWebView> view =
        std::make_shared<FakeWebView>(engine::WebViewConfiguration{.dataStore = store});
    std::shared_ptr<CookieJarSync> jar;
    std::unique_ptr<StorageSnapshotSync> storageSync;
    std::unique_ptr<SessionExport> exporter;
    std::unique_ptr<SessionImport> importer;

    // Observations of completions, kept here so that late calls stay safe.
    int doneCount = 0;
    std::vector<int> counts;
    std::vector<std::optional<std::string>> blobs;
    std::vector<std::optional<std::filesystem::path>> files;
    std::vector<Result<int>> results;
};

} // namespace orvi::test
