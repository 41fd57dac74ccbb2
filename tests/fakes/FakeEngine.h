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
    void getAllCookies(std::function<void(Result<std::vector<engine::Cookie>>)> completion) override {
        ++getAllCount;
        answer([this, completion = std::move(completion)] {
            readFailure ? completion(*readFailure) : completion(cookies);
        });
    }
    void setCookie(const engine::Cookie& cookie, std::function<void()> completion) override {
        ++setCount;
        answer([this, cookie, completion = std::move(completion)] {
            erase(cookie);
            cookies.push_back(cookie);
            m_changed.emit();
            completion();
        });
    }
    void deleteCookie(const engine::Cookie& cookie, std::function<void()> completion) override {
        answer([this, cookie, completion = std::move(completion)] {
            erase(cookie);
            m_changed.emit();
            completion();
        });
    }
    Connection observeChanges(std::function<void()> observer) override {
        return m_changed.connect([observer = std::move(observer)] { observer(); });
    }
    // The jar as a response or a page script leaves it, told to the observers as the engine does.
    void changeTo(std::vector<engine::Cookie> jar) {
        cookies = std::move(jar);
        m_changed.emit();
    }

    std::vector<engine::Cookie> cookies;
    // While set, every read fails with this error.
    std::optional<Error> readFailure;
    int getAllCount = 0;
    int setCount = 0;

    // While true, completions queue up until releaseDeferred().
    bool deferAnswers = false;
    void releaseDeferred() {
        while (!m_deferred.empty()) {
            auto fn = std::move(m_deferred.front());
            m_deferred.pop_front();
            fn();
        }
    }

private:
    void answer(std::function<void()> fn) { deferAnswers ? m_deferred.push_back(std::move(fn)) : fn(); }
    void erase(const engine::Cookie& cookie) {
        std::erase_if(cookies, [&](const engine::Cookie& c) {
            return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
        });
    }
    std::deque<std::function<void()>> m_deferred;
    Signal<> m_changed;
};

class FakeDataStore final : public engine::DataStore {
public:
    explicit FakeDataStore(bool persistent, std::string = {}) : m_persistent(persistent) {}

    bool isPersistent() const override { return m_persistent; }
    engine::CookieStore& cookieStore() override { return cookies; }
    void removeAllData(std::function<void()> completion) override {
        ++removeAllDataCount;
        cookies.cookies.clear();
        completion();
    }

    FakeCookieStore cookies;
    int removeAllDataCount = 0;

private:
    bool m_persistent;
};

// A web view that records every call. Script evaluations are answered by a responder the
// test installs (by default an undefined result), and any engine event can be fired.
class FakeWebView final : public engine::WebView {
public:
    explicit FakeWebView(engine::WebViewConfiguration configuration)
        : configuration(std::move(configuration)) {}

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
                                 std::function<void(const Json&)> handler) override {
        messageHandlers[name] = Handler{world, std::move(handler)};
    }
    void removeScriptMessageHandler(const std::string& name) override { messageHandlers.erase(name); }
    void evaluateJavaScript(const std::string& script, engine::World world,
                            std::function<void(engine::ScriptResult)> completion) override {
        evaluate(script, world, std::move(completion));
    }
    void callAsyncJavaScript(const std::string& functionBody, const Json&, engine::World world,
                             std::function<void(engine::ScriptResult)> completion) override {
        evaluate(functionBody, world, std::move(completion));
    }
    void load(const engine::Request& request) override {
        loads.push_back(request);
        loading = true;
        currentURL = request.url;
    }
    void loadHTMLString(const std::string& html, const std::string& baseURL) override {
        htmlLoads.emplace_back(html, baseURL);
        loading = true;
        currentURL = baseURL;
    }
    void reload() override { ++reloadCount; }
    void stopLoading() override {
        ++stopCount;
        loading = false;
    }
    std::string url() const override { return currentURL; }
    std::string title() const override { return {}; }
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
    void setUIDelegate(engine::UIDelegate*) override {}
    void startDownload(const engine::Request& request) override { downloads.push_back(request); }
    void prewarm() override { ++prewarms; }

    // Firing events as the engine would.
    void postMessage(const std::string& handlerName, const Json& body) {
        // A copy, since the handler may remove itself.
        if (auto it = messageHandlers.find(handlerName); it != messageHandlers.end())
            std::function<void(const Json&)>(it->second.handler)(body);
    }
    void finishNavigation(const std::string& url) {
        currentURL = url;
        loading = false;
        if (navigationDelegate)
            navigationDelegate->didFinishNavigation(*this);
    }
    void startProvisionalNavigation() {
        loading = true;
        if (navigationDelegate)
            navigationDelegate->didStartProvisionalNavigation(*this);
    }
    void failProvisionalNavigation(const Error& error) {
        loading = false;
        if (navigationDelegate)
            navigationDelegate->didFailProvisionalNavigation(*this, error);
    }
    void terminateContentProcess(
        engine::ProcessTerminationReason reason = engine::ProcessTerminationReason::crashed) {
        loading = false;
        if (navigationDelegate)
            navigationDelegate->webContentProcessDidTerminate(*this, reason);
    }
    // The decision, or none unless the delegate answered exactly once before returning.
    std::optional<engine::PolicyDecision> decideAction(const engine::NavigationAction& action) {
        return decide([&](auto handler) {
            navigationDelegate->decidePolicyForNavigationAction(*this, action, handler);
        });
    }
    std::optional<engine::PolicyDecision> decideResponse(const engine::NavigationResponse& response) {
        return decide([&](auto handler) {
            navigationDelegate->decidePolicyForNavigationResponse(*this, response, handler);
        });
    }

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
    };
    std::vector<Evaluation> evaluations;
    std::vector<engine::Request> loads;
    std::vector<std::pair<std::string, std::string>> htmlLoads;
    std::vector<engine::Request> downloads;
    int prewarms = 0;
    int reloadCount = 0;
    int stopCount = 0;
    bool loading = false;
    bool inViewHierarchy = false;
    int removeFromViewHierarchyCount = 0;
    std::string currentURL;
    engine::NavigationDelegate* navigationDelegate = nullptr;

    // Answers evaluations. Return no value to hold the completion back (it is then kept in
    // heldCompletions and can be answered later).
    std::function<std::optional<engine::ScriptResult>(const std::string& script, engine::World)> responder;
    std::vector<std::function<void(engine::ScriptResult)>> heldCompletions;

private:
    void evaluate(const std::string& script, engine::World world,
                  std::function<void(engine::ScriptResult)> completion) {
        evaluations.push_back(Evaluation{script, world});
        auto result = responder ? responder(script, world)
                                : std::optional<engine::ScriptResult>(engine::ScriptResult(Json()));
        result ? completion(std::move(*result)) : heldCompletions.push_back(std::move(completion));
    }
    template <typename Ask> std::optional<engine::PolicyDecision> decide(Ask ask) {
        std::optional<engine::PolicyDecision> decision;
        int calls = 0;
        if (navigationDelegate)
            ask([&](engine::PolicyDecision d) {
                decision = d;
                ++calls;
            });
        return calls == 1 ? decision : std::nullopt;
    }
    std::string m_userAgent;
};

class FakeEngine final : public engine::Engine {
public:
    std::shared_ptr<engine::DataStore> defaultDataStore() override { return defaultStore; }
    std::shared_ptr<engine::DataStore> nonPersistentDataStore() override {
        return std::make_shared<FakeDataStore>(false);
    }
    std::shared_ptr<engine::DataStore> dataStore(const std::string& identifier) override {
        auto& store = identifiedStores[identifier];
        if (!store)
            store = std::make_shared<FakeDataStore>(true, identifier);
        return store;
    }
    void removeDataStore(const std::string& identifier, std::function<void(bool)> completion) override {
        identifiedStores.erase(identifier);
        completion(true);
    }
    std::shared_ptr<engine::WebView> makeWebView(const engine::WebViewConfiguration& configuration) override {
        auto view = std::make_shared<FakeWebView>(configuration);
        webViews.push_back(view);
        return view;
    }

    std::shared_ptr<FakeDataStore> defaultStore = std::make_shared<FakeDataStore>(true, "default");
    std::map<std::string, std::shared_ptr<FakeDataStore>> identifiedStores;
    std::vector<std::weak_ptr<FakeWebView>> webViews;
};

} // namespace orvi::test
