#pragma once

#include "core/base/Scheduler.h"
#include "core/page/WebViewFactory.h"
#include "core/profiles/Profile.h"
#include "core/web/policy/OrviDomains.h"
#include "engine/WebView.h"
#include "engine/webkit/WebKitEngine.h"
#include "fakes/MemoryPreferencesStore.h"
#include "platform/linux/GLibScheduler.h"
#include "service/ImitationService.h"
#include "support/TempDir.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvi::test {

// Iterates the default main context until done() or the time-out; returns done().
bool runMainLoopUntil(const std::function<bool()>& done, Duration timeout = std::chrono::seconds(15));
// Iterates the default main context for a while (to show that something does not happen).
void runMainLoopFor(Duration duration);

// The imitation service and an engine whose every session goes through it. The engine's
// data and cache roots sit in their own temporary folder (or in the one given, to share
// them between two processes).
struct WebKitTestEnvironment {
    explicit WebKitTestEnvironment(std::optional<std::filesystem::path> root = std::nullopt);

    // With the delegate attached when one is given.
    std::shared_ptr<engine::WebView> makeWebView(std::shared_ptr<engine::DataStore> store,
                                                 engine::NavigationDelegate* navigation = nullptr);

    TempDir folder;
    std::filesystem::path root;
    std::unique_ptr<ImitationService> service;
    std::unique_ptr<engine::webkit::WebKitEngine> engine;
    std::filesystem::path dataRoot() const { return root / "data"; }
    std::filesystem::path cacheRoot() const { return root / "cache"; }
};

// Records every navigation event; allows every decision unless told otherwise, or holds the
// action's decision for the test to give (or drop).
class RecordingNavigationDelegate : public engine::NavigationDelegate {
public:
    using Decide = std::function<void(engine::PolicyDecision)>;
    void decidePolicyForNavigationAction(engine::WebView&, const engine::NavigationAction& action,
                                         Decide decide) override {
        actions.push_back(action);
        if (holdActions)
            heldAction = std::move(decide);
        else
            decide(actionDecision ? actionDecision(action) : engine::PolicyDecision::allow);
    }
    void decidePolicyForNavigationResponse(engine::WebView&, const engine::NavigationResponse& response,
                                           Decide decide) override {
        responses.push_back(response);
        decide(responseDecision ? responseDecision(response) : engine::PolicyDecision::allow);
    }
    void didStartProvisionalNavigation(engine::WebView&) override { ++started; }
    void didCommitNavigation(engine::WebView&) override { ++committed; }
    void didFinishNavigation(engine::WebView&) override { ++finished; }
    void didFailProvisionalNavigation(engine::WebView&, const Error& error) override {
        provisionalFailures.push_back(error);
    }
    void didFailNavigation(engine::WebView&, const Error& error) override { failures.push_back(error); }
    void navigationDidBecomeDownload(engine::WebView&,
                                     const std::shared_ptr<engine::Download>& download) override {
        downloads.push_back(download);
        if (onDownload)
            onDownload(download);
    }

    std::function<engine::PolicyDecision(const engine::NavigationAction&)> actionDecision;
    std::function<engine::PolicyDecision(const engine::NavigationResponse&)> responseDecision;
    std::function<void(const std::shared_ptr<engine::Download>&)> onDownload;
    bool holdActions = false;
    Decide heldAction;

    std::vector<engine::NavigationAction> actions;
    std::vector<engine::NavigationResponse> responses;
    std::vector<std::shared_ptr<engine::Download>> downloads;
    int started = 0;
    int committed = 0;
    int finished = 0;
    std::vector<Error> provisionalFailures;
    std::vector<Error> failures;
};

// Chooses a fresh path in its folder for every download and records what happens.
class RecordingDownloadDelegate : public engine::DownloadDelegate {
public:
    explicit RecordingDownloadDelegate(std::filesystem::path folder) : m_folder(std::move(folder)) {}

    void decideDestination(engine::Download&, const std::string& suggestedFilename,
                           std::function<void(std::optional<std::string>)> completion) override;
    void downloadDidFinish(engine::Download&) override { ++finished; }
    void downloadDidFail(engine::Download&, const Error& error) override { failures.push_back(error); }

    // Overrides the destination (none cancels).
    std::function<std::optional<std::string>(const std::string& suggestedFilename)> destination;
    std::vector<std::string> suggestedFilenames;
    std::vector<std::string> destinations;
    int finished = 0;
    std::vector<Error> failures;

private:
    std::filesystem::path m_folder;
};

// Answers alerts, confirms and permission requests as told, or holds a confirm's answer for
// the test to give, and records them.
class RecordingUIDelegate : public engine::UIDelegate {
public:
    void runJavaScriptAlert(engine::WebView&, const std::string& message,
                            std::function<void()> done) override {
        alerts.push_back(message);
        done();
    }
    void runJavaScriptConfirm(engine::WebView&, const std::string& message,
                              std::function<void(bool)> answer) override {
        confirms.push_back(message);
        if (holdConfirms)
            heldConfirm = std::move(answer);
        else
            answer(confirmAnswer);
    }
    void requestMediaCapturePermission(engine::WebView&, const std::string& origin,
                                       engine::MediaCaptureType type,
                                       std::function<void(engine::PermissionDecision)> decide) override {
        permissionRequests.emplace_back(origin, type);
        decide(permissionAnswer);
    }

    bool confirmAnswer = true;
    bool holdConfirms = false;
    std::function<void(bool)> heldConfirm;
    engine::PermissionDecision permissionAnswer = engine::PermissionDecision::grant;
    std::vector<std::string> alerts;
    std::vector<std::string> confirms;
    std::vector<std::pair<std::string, engine::MediaCaptureType>> permissionRequests;
};

// One web view on its own environment, on a private store unless the configuration names one.
struct TestPage {
    explicit TestPage(engine::WebViewConfiguration configuration = {});
    ~TestPage();
    // Puts the view on screen, which WebKit wants before it asks for media capture.
    void show();

    WebKitTestEnvironment env;
    RecordingNavigationDelegate nav;
    std::shared_ptr<engine::WebView> view;
    GtkWidget* window = nullptr;
};

// Loads the URL and waits for the load to finish or fail; true when it finished.
bool loadAndWait(engine::WebView& view, RecordingNavigationDelegate& delegate, const std::string& url);
bool loadAndWait(engine::WebView& view, RecordingNavigationDelegate& delegate,
                 const engine::Request& request);
// Waits for the next finish after the ones counted so far.
bool waitForFinish(RecordingNavigationDelegate& delegate, int finishedBefore);

engine::ScriptResult evaluate(engine::WebView& view, const std::string& script,
                              engine::World world = engine::World::page);
// The script's value; a script that fails fails the test and gives null.
Json valueOf(engine::WebView& view, const std::string& script, engine::World world = engine::World::page);
engine::ScriptResult callAsync(engine::WebView& view, const std::string& body, const Json& arguments,
                               engine::World world = engine::World::page);
std::vector<engine::Cookie> allCookies(engine::DataStore& store);
std::optional<engine::Cookie> findCookie(const std::vector<engine::Cookie>& cookies, const std::string& name);
// Opens the imitation service's login page, submits its form and waits until the page holds
// the user's token.
bool logIn(WebKitTestEnvironment& env, engine::WebView& view, RecordingNavigationDelegate& nav,
           const std::string& user);
void setCookie(engine::DataStore& store, const engine::Cookie& cookie);

// A real factory on the WebKit engine, with the endpoints of the imitation service read the
// way the application reads them.
struct WebFixture {
    WebFixture();

    static Profile makeProfile(const std::string& name, const LocationSettings& location);
    // The profile's web view from the factory, with the recording delegate attached.
    std::shared_ptr<engine::WebView> open(const Profile& profile, const LocationSettings& location);
    // Shows the HTML as if it came from the base URL; true when the load finished.
    bool loadHTML(engine::WebView& view, const std::string& html, const std::string& baseURL);
    std::string webURL(const std::string& path = "/") const { return env.service->webURL(path); }

    WebKitTestEnvironment env;
    OrviDomains domains;
    MemoryPreferencesStore preferences;
    platform::GLibScheduler scheduler;
    // Before the factory, so that the web views it holds go first.
    RecordingNavigationDelegate navigation;
    std::unique_ptr<WebViewFactory> factory;
};

} // namespace orvi::test
