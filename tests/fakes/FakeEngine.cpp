#include "fakes/FakeEngine.h"

#include <algorithm>

namespace orvi::test {

void FakeCookieStore::answer(std::function<void()> fn) {
    if (deferAnswers)
        m_deferred.push_back(std::move(fn));
    else
        fn();
}

void FakeCookieStore::releaseDeferred() {
    while (!m_deferred.empty()) {
        auto fn = std::move(m_deferred.front());
        m_deferred.pop_front();
        fn();
    }
}

void FakeCookieStore::getAllCookies(std::function<void(std::vector<engine::Cookie>)> completion) {
    ++getAllCount;
    answer([this, completion = std::move(completion)] { completion(cookies); });
}

void FakeCookieStore::setCookie(const engine::Cookie& cookie, std::function<void()> completion) {
    ++setCount;
    answer([this, cookie, completion = std::move(completion)] {
        auto same = [&](const engine::Cookie& c) {
            return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
        };
        cookies.erase(std::remove_if(cookies.begin(), cookies.end(), same), cookies.end());
        cookies.push_back(cookie);
        completion();
    });
}

void FakeCookieStore::deleteCookie(const engine::Cookie& cookie, std::function<void()> completion) {
    answer([this, cookie, completion = std::move(completion)] {
        auto same = [&](const engine::Cookie& c) {
            return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
        };
        cookies.erase(std::remove_if(cookies.begin(), cookies.end(), same), cookies.end());
        completion();
    });
}

void FakeDataStore::removeAllData(std::function<void()> completion) {
    ++removeAllDataCount;
    cookies.cookies.clear();
    completion();
}

FakeWebView::FakeWebView(engine::WebViewConfiguration config) : configuration(std::move(config)) {}

void FakeWebView::addScriptMessageHandler(const std::string& name, engine::World world,
                                          std::function<void(const Json&)> handler) {
    messageHandlers[name] = Handler{world, std::move(handler)};
}

void FakeWebView::removeScriptMessageHandler(const std::string& name) { messageHandlers.erase(name); }

void FakeWebView::evaluateJavaScript(const std::string& script, engine::World world,
                                     std::function<void(engine::ScriptResult)> completion) {
    evaluations.push_back(Evaluation{script, world, Json()});
    std::optional<engine::ScriptResult> result =
        responder ? responder(script, world) : std::optional<engine::ScriptResult>(engine::ScriptResult(Json()));
    if (result)
        completion(std::move(*result));
    else
        heldCompletions.push_back(std::move(completion));
}

void FakeWebView::callAsyncJavaScript(const std::string& functionBody, const Json& arguments, engine::World world,
                                      std::function<void(engine::ScriptResult)> completion) {
    evaluations.push_back(Evaluation{functionBody, world, arguments});
    std::optional<engine::ScriptResult> result = responder ? responder(functionBody, world)
                                                           : std::optional<engine::ScriptResult>(engine::ScriptResult(Json()));
    if (result)
        completion(std::move(*result));
    else
        heldCompletions.push_back(std::move(completion));
}

void FakeWebView::load(const engine::Request& request) {
    loads.push_back(request);
    loading = true;
    currentURL = request.url;
}

void FakeWebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
    htmlLoads.emplace_back(html, baseURL);
    loading = true;
    currentURL = baseURL;
}

void FakeWebView::postMessage(const std::string& handlerName, const Json& body) {
    auto it = messageHandlers.find(handlerName);
    if (it != messageHandlers.end()) {
        auto handler = it->second.handler;
        handler(body);
    }
}

void FakeWebView::finishNavigation(const std::string& url) {
    currentURL = url;
    loading = false;
    if (navigationDelegate)
        navigationDelegate->didFinishNavigation(*this);
}

void FakeWebView::startProvisionalNavigation() {
    loading = true;
    if (navigationDelegate)
        navigationDelegate->didStartProvisionalNavigation(*this);
}

void FakeWebView::failProvisionalNavigation(const Error& error) {
    loading = false;
    if (navigationDelegate)
        navigationDelegate->didFailProvisionalNavigation(*this, error);
}

void FakeWebView::terminateContentProcess(engine::ProcessTerminationReason reason) {
    loading = false;
    if (navigationDelegate)
        navigationDelegate->webContentProcessDidTerminate(*this, reason);
}

std::optional<engine::PolicyDecision> FakeWebView::decideAction(const engine::NavigationAction& action) {
    std::optional<engine::PolicyDecision> decision;
    int calls = 0;
    if (navigationDelegate)
        navigationDelegate->decidePolicyForNavigationAction(*this, action, [&](engine::PolicyDecision d) {
            decision = d;
            ++calls;
        });
    return calls == 1 ? decision : std::nullopt;
}

std::optional<engine::PolicyDecision> FakeWebView::decideResponse(const engine::NavigationResponse& response) {
    std::optional<engine::PolicyDecision> decision;
    int calls = 0;
    if (navigationDelegate)
        navigationDelegate->decidePolicyForNavigationResponse(*this, response, [&](engine::PolicyDecision d) {
            decision = d;
            ++calls;
        });
    return calls == 1 ? decision : std::nullopt;
}

std::shared_ptr<engine::DataStore> FakeEngine::defaultDataStore() { return defaultStore; }

std::shared_ptr<engine::DataStore> FakeEngine::nonPersistentDataStore() {
    auto store = std::make_shared<FakeDataStore>(false);
    nonPersistentStores.push_back(store);
    return store;
}

std::shared_ptr<engine::DataStore> FakeEngine::dataStore(const std::string& identifier) {
    auto& store = identifiedStores[identifier];
    if (!store)
        store = std::make_shared<FakeDataStore>(true, identifier);
    return store;
}

void FakeEngine::removeDataStore(const std::string& identifier, std::function<void(bool)> completion) {
    identifiedStores.erase(identifier);
    removedDataStores.push_back(identifier);
    completion(removeDataStoreResult);
}

std::shared_ptr<engine::WebView> FakeEngine::makeWebView(const engine::WebViewConfiguration& configuration) {
    auto view = std::make_shared<FakeWebView>(configuration);
    webViews.push_back(view);
    if (onWebViewMade)
        onWebViewMade(*view);
    return view;
}

} // namespace orvi::test
