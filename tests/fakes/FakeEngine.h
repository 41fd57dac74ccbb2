#pragma once

#include "engine/WebView.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvi::test {

// A cookie store in memory. Answers are delivered synchronously unless deferred, so a test
// can hold an answer back and release it later (to check ordering and lifetimes).
class FakeCookieStore final : public engine::CookieStore {
public:
    void getAllCookies(std::function<void(Result<std::vector<engine::Cookie>>)> completion) override;
    void setCookie(const engine::Cookie& cookie, std::function<void()> completion) override;
    void deleteCookie(const engine::Cookie& cookie, std::function<void()> completion) override;
    Connection observeChanges(std::function<void()> observer) override;
    // The jar as a response or a page script leaves it, told to the observers as the engine does.
    void changeTo(std::vector<engine::Cookie> jar);

    std::vector<engine::Cookie> cookies;
    // While set, every read fails with this error.
    std::optional<Error> readFailure;
    int getAllCount = 0;
    int setCount = 0;

    // While true, completions queue up until releaseDeferred().
    bool deferAnswers = false;
    void releaseDeferred();

private:
    void answer(std::function<void()> fn);
    std::deque<std::function<void()>> m_deferred;
    Signal<> m_changed;
};

class FakeDataStore final : public engine::DataStore {
public:
    explicit FakeDataStore(bool persistent, std::string identifier = {})
        : identifier(std::move(identifier)), m_persistent(persistent) {}

    bool isPersistent() const override { return m_persistent; }
    engine::CookieStore& cookieStore() override { return cookies; }
    void removeAllData(std::function<void()> completion) override;

    std::string identifier;
    FakeCookieStore cookies;
    int removeAllDataCount = 0;

private:
    bool m_persistent;
};

// A web view that records every call. Script evaluations are answered by a responder the
// test installs (by default an undefined result), and any engine event can be fired.
class FakeWebView final : public engine::WebView {
public:
    explicit FakeWebView(engine::WebViewConfiguration configuration);

    engine::DataStore& dataStore() override { return *configuration.dataStore; }
    std::shared_ptr<engine::DataStore> sharedDataStore() override { return configuration.dataStore; }
    void addUserScript(const engine::UserScript& script) override { userScripts.push_back(script); }
    void removeAllUserScripts() override { userScripts.clear(); }
    void removeUserScript(const engine::UserScript& script) override {
        if (auto found = std::find(userScripts.begin(), userScripts.end(), script);
            found != userScripts.end())
            userScripts.erase(found);
    }
    void addScriptMessageHandler(const std::string& name, engine::World world,
                                 std::function<void(const Json&)> handler) override;
    void removeScriptMessageHandler(const std::string& name) override;
    void evaluateJavaScript(const std::string& script, engine::World world,
                            std::function<void(engine::ScriptResult)> completion) override;
    void callAsyncJavaScript(const std::string& functionBody, const Json& arguments, engine::World world,
                             std::function<void(engine::ScriptResult)> completion) override;
    void load(const engine::Request& request) override;
    void loadHTMLString(const std::string& html, const std::string& baseURL) override;
    void reload() override { ++reloadCount; }
    void stopLoading() override {
        ++stopCount;
        loading = false;
    }
    std::string url() const override { return currentURL; }
    std::string title() const override { return currentTitle; }
    bool isLoading() const override { return loading; }
    bool isInViewHierarchy() const override { return inViewHierarchy; }
    void removeFromViewHierarchy() override {
        inViewHierarchy = false;
        ++removeFromViewHierarchyCount;
    }
    void setCustomUserAgent(const std::string& userAgent) override { m_userAgent = userAgent; }
    std::string customUserAgent() const override { return m_userAgent; }
    void setNavigationDelegate(engine::NavigationDelegate* delegate) override {
        navigationDelegate = delegate;
    }
    void setUIDelegate(engine::UIDelegate* delegate) override { uiDelegate = delegate; }
    void startDownload(const engine::Request& request) override { downloads.push_back(request); }

    // Firing events as the engine would.
    void postMessage(const std::string& handlerName, const Json& body);
    void finishNavigation(const std::string& url);
    void startProvisionalNavigation();
    void failProvisionalNavigation(const Error& error);
    void terminateContentProcess(
        engine::ProcessTerminationReason reason = engine::ProcessTerminationReason::crashed);
    std::optional<engine::PolicyDecision> decideAction(const engine::NavigationAction& action);
    std::optional<engine::PolicyDecision> decideResponse(const engine::NavigationResponse& response);

    engine::WebViewConfiguration configuration;
    std::vector<engine::UserScript> userScripts;
    struct Handler {
        engine::World world;
        std::function<void(const Json&)> handler;
    };
    std::map<std::string, Handler> messageHandlers;
    struct Evaluation {
        std::string script;
        engine::World world;
        Json arguments;
    };
    std::vector<Evaluation> evaluations;
    std::vector<engine::Request> loads;
    std::vector<std::pair<std::string, std::string>> htmlLoads;
    std::vector<engine::Request> downloads;
    int reloadCount = 0;
    int stopCount = 0;
    bool loading = false;
    bool inViewHierarchy = false;
    int removeFromViewHierarchyCount = 0;
    std::string currentURL;
    std::string currentTitle;
    engine::NavigationDelegate* navigationDelegate = nullptr;
    engine::UIDelegate* uiDelegate = nullptr;

    // Answers evaluations. Return no value to hold the completion back (it is then kept in
    // heldCompletions and can be answered later).
    std::function<std::optional<engine::ScriptResult>(const std::string& script, engine::World)> responder;
    std::vector<std::function<void(engine::ScriptResult)>> heldCompletions;

private:
    std::string m_userAgent;
};

class FakeEngine final : public engine::Engine {
public:
    std::shared_ptr<engine::DataStore> defaultDataStore() override;
    std::shared_ptr<engine::DataStore> nonPersistentDataStore() override;
    std::shared_ptr<engine::DataStore> dataStore(const std::string& identifier) override;
    // Forgets the store at once and records the identifier; the completion gets
    // removeDataStoreResult.
    void removeDataStore(const std::string& identifier, std::function<void(bool)> completion) override;
    std::shared_ptr<engine::WebView> makeWebView(const engine::WebViewConfiguration& configuration) override;

    std::shared_ptr<FakeDataStore> defaultStore = std::make_shared<FakeDataStore>(true, "default");
    std::vector<std::shared_ptr<FakeDataStore>> nonPersistentStores;
    std::map<std::string, std::shared_ptr<FakeDataStore>> identifiedStores;
    std::vector<std::weak_ptr<FakeWebView>> webViews;
    std::vector<std::string> removedDataStores;
    bool removeDataStoreResult = true;

    // Customises each web view as it is made (a responder, say).
    std::function<void(FakeWebView&)> onWebViewMade;
};

} // namespace orvi::test
