#include "integration/WebKitTestSupport.h"

#include "support/NamedProfile.h"

#include <cstdlib>
#include <glib.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

namespace orvi::test {

bool runMainLoopUntil(const std::function<bool()>& done, Duration timeout) {
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        // A short tick so that the deadline is checked even when nothing happens.
        bool fired = false;
        guint tick = g_timeout_add(
            20,
            [](gpointer data) {
                *static_cast<bool*>(data) = true;
                return G_SOURCE_REMOVE;
            },
            &fired);
        g_main_context_iteration(nullptr, TRUE);
        if (!fired)
            g_source_remove(tick);
    }
    return true;
}

void runMainLoopFor(Duration duration) {
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(duration);
    runMainLoopUntil([&] { return Clock::now() >= deadline; }, duration + std::chrono::seconds(1));
}

WebKitTestEnvironment::WebKitTestEnvironment(std::optional<std::filesystem::path> sharedRoot)
    : root(sharedRoot.value_or(folder.path())) {
    service = ImitationService::start();
    if (!service)
        std::abort();
    engine = std::make_unique<engine::webkit::WebKitEngine>(dataRoot(), cacheRoot(), service->proxyURL());
}

std::shared_ptr<engine::WebView> WebKitTestEnvironment::makeWebView(std::shared_ptr<engine::DataStore> store,
                                                                    engine::NavigationDelegate* navigation) {
    engine::WebViewConfiguration configuration;
    configuration.dataStore = std::move(store);
    auto view = engine->makeWebView(configuration);
    if (navigation)
        view->setNavigationDelegate(navigation);
    return view;
}

TestPage::TestPage(engine::WebViewConfiguration configuration) {
    if (!configuration.dataStore)
        configuration.dataStore = env.engine->nonPersistentDataStore();
    view = env.engine->makeWebView(configuration);
    view->setNavigationDelegate(&nav);
}

TestPage::~TestPage() {
    view.reset();
    if (window)
        gtk_window_destroy(GTK_WINDOW(window));
}

void TestPage::show() {
    window = gtk_window_new();
    gtk_window_set_default_size(GTK_WINDOW(window), 900, 700);
    gtk_window_set_child(GTK_WINDOW(window), engine::webkit::WebKitEngine::widget(*view));
    gtk_window_present(GTK_WINDOW(window));
}

void RecordingDownloadDelegate::decideDestination(
    engine::Download&, const std::string& suggestedFilename,
    std::function<void(std::optional<std::string>)> completion) {
    suggestedFilenames.push_back(suggestedFilename);
    std::optional<std::string> chosen;
    if (destination) {
        chosen = destination(suggestedFilename);
    } else {
        auto folder = m_folder / std::to_string(destinations.size());
        std::filesystem::create_directories(folder);
        chosen = (folder / suggestedFilename).string();
    }
    if (chosen)
        destinations.push_back(*chosen);
    completion(chosen);
}

bool waitForFinish(RecordingNavigationDelegate& delegate, int finishedBefore) {
    auto failuresBefore = delegate.provisionalFailures.size() + delegate.failures.size();
    runMainLoopUntil([&] {
        return delegate.finished > finishedBefore ||
               delegate.provisionalFailures.size() + delegate.failures.size() > failuresBefore;
    });
    return delegate.finished > finishedBefore;
}

bool loadAndWait(engine::WebView& view, RecordingNavigationDelegate& delegate,
                 const engine::Request& request) {
    const int before = delegate.finished;
    view.load(request);
    return waitForFinish(delegate, before);
}

bool loadAndWait(engine::WebView& view, RecordingNavigationDelegate& delegate, const std::string& url) {
    return loadAndWait(view, delegate, engine::Request{url});
}

namespace {

engine::ScriptResult
waitForScript(const std::function<void(std::function<void(engine::ScriptResult)>)>& run) {
    std::optional<engine::ScriptResult> result;
    run([&](engine::ScriptResult answer) { result.emplace(std::move(answer)); });
    if (!runMainLoopUntil([&] { return result.has_value(); }, std::chrono::seconds(40)))
        return engine::ScriptResult(Error{"Test", 0, "no answer"});
    return std::move(*result);
}

} // namespace

engine::ScriptResult evaluate(engine::WebView& view, const std::string& script, engine::World world) {
    return waitForScript(
        [&](auto completion) { view.evaluateJavaScript(script, world, std::move(completion)); });
}

Json valueOf(engine::WebView& view, const std::string& script, engine::World world) {
    auto result = evaluate(view, script, world);
    if (!result.ok())
        ADD_FAILURE() << script << ": " << result.error().message;
    return result.ok() ? result.value() : Json();
}

engine::ScriptResult callAsync(engine::WebView& view, const std::string& body, const Json& arguments,
                               engine::World world) {
    return waitForScript(
        [&](auto completion) { view.callAsyncJavaScript(body, arguments, world, std::move(completion)); });
}

std::optional<engine::Cookie> findCookie(const std::vector<engine::Cookie>& cookies,
                                         const std::string& name) {
    for (const auto& cookie : cookies)
        if (cookie.name == name)
            return cookie;
    return std::nullopt;
}

bool logIn(WebKitTestEnvironment& env, engine::WebView& view, RecordingNavigationDelegate& nav,
           const std::string& user) {
    if (!loadAndWait(view, nav, env.service->webURL("/")))
        return false;
    int before = nav.finished;
    auto clicked = evaluate(view, "document.querySelector('input[name=user]').value = '" + user +
                                      "'; document.getElementById('login-button').click(); true");
    return clicked.ok() && waitForFinish(nav, before) && runMainLoopUntil([&] {
               auto token = evaluate(view, "localStorage.getItem('orvi.token')");
               return token.ok() && token.value() == "token-" + user;
           });
}

std::vector<engine::Cookie> allCookies(engine::DataStore& store) {
    std::optional<std::vector<engine::Cookie>> cookies;
    store.cookieStore().getAllCookies([&](Result<std::vector<engine::Cookie>> answer) {
        cookies = answer ? std::move(answer).value() : std::vector<engine::Cookie>{};
    });
    runMainLoopUntil([&] { return cookies.has_value(); });
    return cookies.value_or(std::vector<engine::Cookie>{});
}

void setCookie(engine::DataStore& store, const engine::Cookie& cookie) {
    bool done = false;
    store.cookieStore().setCookie(cookie, [&] { done = true; });
    runMainLoopUntil([&] { return done; });
}

WebFixture::WebFixture()
    : domains(
          OrviDomains::fromJsonText(env.service->endpoints().toJson().dump(), "imitation endpoints").value()),
      factory(std::make_unique<WebViewFactory>(*env.engine, preferences, scheduler, domains)) {}

Profile WebFixture::makeProfile(const std::string& name, const LocationSettings& location) {
    auto profile = namedProfile(ProfileId::generate(), name);
    profile.locationSettings = location;
    return profile;
}

std::shared_ptr<engine::WebView> WebFixture::open(const Profile& profile, const LocationSettings& location) {
    auto view = factory->makeWebView(profile, location);
    view->setNavigationDelegate(&navigation);
    return view;
}

bool WebFixture::loadHTML(engine::WebView& view, const std::string& html, const std::string& baseURL) {
    const int before = navigation.finished;
    view.loadHTMLString(html, baseURL);
    return waitForFinish(navigation, before);
}

} // namespace orvi::test
