#include "integration/WebKitTestSupport.h"
#include "support/ChildProcess.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvi;
using namespace orvi::test;

namespace {
inline constexpr const char* kProfileA = "0A0A0A0A-1111-4111-8111-AAAAAAAAAAAA";
inline constexpr const char* kProfileB = "0B0B0B0B-2222-4222-8222-BBBBBBBBBBBB";
} // namespace

TEST(WebKitDataStore, TwoProfilesOnOneOriginKeepSeparateSessionsAndRemovingOneDeletesOnlyItsFolders) {
    WebKitTestEnvironment env;
    auto storeA = env.engine->dataStore(kProfileA);
    auto storeB = env.engine->dataStore(kProfileB);
    ASSERT_EQ(env.engine->dataStore(kProfileA), storeA) << "one store per identifier during a run";
    RecordingNavigationDelegate navA;
    RecordingNavigationDelegate navB;
    auto viewA = env.makeWebView(storeA, &navA);
    auto viewB = env.makeWebView(storeB, &navB);
    ASSERT_TRUE(logIn(env, *viewA, navA, "alice"));
    ASSERT_TRUE(loadAndWait(*viewB, navB, env.service->webURL("/")));
    EXPECT_EQ(valueOf(*viewB, "[localStorage.getItem('orvi.token'), document.title]"),
              Json::array({nullptr, "ORVI — вход"}));

    auto cookiesA = allCookies(*storeA);
    auto session = findCookie(cookiesA, "orvi_session");
    ASSERT_TRUE(session.has_value()) << "getAllCookies includes HttpOnly cookies";
    EXPECT_TRUE(session->isHTTPOnly);
    EXPECT_EQ(session->domain, "web.orvi.test");
    EXPECT_TRUE(session->expiresDate.has_value());
    EXPECT_EQ(findCookie(cookiesA, "orvi_user").value_or(engine::Cookie{}).value, "alice");
    EXPECT_TRUE(allCookies(*storeB).empty());

    auto pageRequests = env.service->requestsTo("web.orvi.test", "/");
    ASSERT_EQ(pageRequests.size(), 3u);
    EXPECT_TRUE(pageRequests[0].cookies.empty());
    EXPECT_EQ(pageRequests[1].cookie("orvi_session"), session->value) << "A's reload after the login";
    EXPECT_TRUE(pageRequests[2].cookies.empty()) << "B sends none of A's cookies";

    viewA->setNavigationDelegate(nullptr);
    viewA.reset();
    storeA.reset();
    // Folders an earlier run left for a profile this run never opened.
    const std::string leftOver = "0C0C0C0C-3333-4333-8333-CCCCCCCCCCCC";
    std::filesystem::create_directories(env.cacheRoot() / leftOver / "deep");
    std::ofstream(env.cacheRoot() / leftOver / "deep" / "entry") << "cached";

    std::vector<bool> results;
    for (const auto& identifier : {std::string(kProfileA), leftOver})
        env.engine->removeDataStore(identifier, [&](bool removed) { results.push_back(removed); });
    ASSERT_TRUE(runMainLoopUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (std::vector<bool>{true, true}));
    for (const auto& identifier : {std::string(kProfileA), leftOver}) {
        EXPECT_FALSE(std::filesystem::exists(env.dataRoot() / identifier)) << identifier;
        EXPECT_FALSE(std::filesystem::exists(env.cacheRoot() / identifier)) << identifier;
    }
    EXPECT_TRUE(std::filesystem::exists(env.dataRoot() / kProfileB)) << "another profile keeps its folders";

    auto again = env.engine->dataStore(kProfileA);
    EXPECT_TRUE(allCookies(*again).empty());
    RecordingNavigationDelegate freshNav;
    auto fresh = env.makeWebView(again, &freshNav);
    ASSERT_TRUE(loadAndWait(*fresh, freshNav, env.service->webURL("/")));
    EXPECT_EQ(valueOf(*fresh, "localStorage.getItem('orvi.token')"), nullptr);
    fresh->setNavigationDelegate(nullptr);
    runMainLoopFor(std::chrono::milliseconds(200));
    EXPECT_EQ(results.size(), 2u) << "each completion runs once";
}

TEST(WebKitDataStore, CookiesSetThroughAPrivateStoreReadBackGoOutAndAreDeleted) {
    WebKitTestEnvironment env;
    umask(0);
    auto store = env.engine->dataStore(kProfileA);
    umask(022);
    // Every field is read back as set, whether the store got it from the engine or from us.
    const engine::Cookie cookies[] = {
        {"restored", "yes", "web.orvi.test", "/", false, true, 4102444800.0, "lax"},
        {"plain", "1", "web.orvi.test", "/", false, false, std::nullopt, "strict"},
        {"wide", "all", ".orvi.test", "/", false, false, 4102444800.0, "lax"},
        {"elsewhere", "no", "web.orvi.test", "/other", false, false, std::nullopt, "lax"},
        {"secure", "s", "web.orvi.test", "/", true, false, 4102444800.0, "none"},
    };
    for (const auto& cookie : cookies)
        setCookie(*store, cookie);
    auto stored = allCookies(*store);
    ASSERT_EQ(stored.size(), std::size(cookies));
    for (const auto& cookie : cookies)
        EXPECT_EQ(findCookie(stored, cookie.name), cookie);

    EXPECT_TRUE(store->isPersistent());
    EXPECT_EQ(fileMode(env.dataRoot() / kProfileA), 0700u);
    EXPECT_EQ(fileMode(env.cacheRoot() / kProfileA), 0700u);
    EXPECT_EQ(fileMode(env.dataRoot()), 0700u);
    for (const char* file : {"cookies.sqlite", "cookies.sqlite-wal", "cookies.sqlite-shm"}) {
        const auto path = env.dataRoot() / kProfileA / file;
        if (file == std::string("cookies.sqlite") || std::filesystem::exists(path)) {
            EXPECT_EQ(fileMode(path), 0600u) << file;
        }
    }

    std::filesystem::create_directories(env.root / "outside");
    for (const char* unsafe : {"", ".", "..", "../outside", "a/b"}) {
        EXPECT_FALSE(env.engine->dataStore(unsafe)->isPersistent()) << unsafe;
        std::optional<bool> removed;
        env.engine->removeDataStore(unsafe, [&](bool result) { removed = result; });
        ASSERT_TRUE(runMainLoopUntil([&] { return removed.has_value(); })) << unsafe;
        EXPECT_FALSE(*removed) << unsafe;
    }
    EXPECT_TRUE(std::filesystem::exists(env.root / "outside"));
    EXPECT_TRUE(std::filesystem::exists(env.dataRoot() / kProfileA));
    EXPECT_TRUE(std::filesystem::exists(env.cacheRoot()));
    EXPECT_FALSE(env.engine->nonPersistentDataStore()->isPersistent());
    EXPECT_TRUE(env.engine->defaultDataStore()->isPersistent());

    RecordingNavigationDelegate nav;
    auto view = env.makeWebView(store, &nav);
    ASSERT_TRUE(loadAndWait(*view, nav, env.service->webURL("/echo")));
    auto requests = env.service->requestsTo("web.orvi.test", "/echo");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].cookie("restored"), "yes");
    EXPECT_EQ(requests[0].cookie("plain"), "1");
    EXPECT_EQ(requests[0].cookie("wide"), "all");
    EXPECT_FALSE(requests[0].cookie("elsewhere").has_value()) << "its path does not match";
    EXPECT_FALSE(requests[0].cookie("secure").has_value()) << "it needs a secure connection";

    // Deleting needs only the name, domain and path.
    setCookie(*store, {"token", "current", "web.orvi.test", "/"});
    bool done = false;
    store->cookieStore().deleteCookie({"token", "stale value", "web.orvi.test", "/"}, [&] { done = true; });
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }));

    stored = allCookies(*store);
    EXPECT_FALSE(findCookie(stored, "token").has_value());
    EXPECT_TRUE(findCookie(stored, "plain").has_value());

    int calls = 0;
    store->cookieStore().deleteCookie({"absent", "", "web.orvi.test", "/"}, [&] { ++calls; });
    runMainLoopUntil([&] { return calls > 0; });
    runMainLoopFor(std::chrono::milliseconds(100));
    EXPECT_EQ(calls, 1);

    calls = 0;
    store->removeAllData([&] { ++calls; });
    ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }));
    EXPECT_TRUE(allCookies(*store).empty());
    runMainLoopFor(std::chrono::milliseconds(100));
    EXPECT_EQ(calls, 1);
}

// The process is run three times: this test starts two copies of itself, one that logs in
// and one, after the first has exited, that finds the session again in the same folders.
TEST(WebKitDataStore, ASessionSurvivesARestartOfTheProcess) {
    const char* phase = std::getenv("ORVI_ENGINE_TEST_PHASE");
    const char* shared = std::getenv("ORVI_ENGINE_TEST_ROOT");
    if (!phase) {
        TempDir root;
        auto runPhase = [&](const char* name) {
            auto child = ChildProcess::start(
                std::filesystem::read_symlink("/proc/self/exe").string(),
                {{"--gtest_filter=WebKitDataStore.ASessionSurvivesARestartOfTheProcess"},
                 {{"ORVI_ENGINE_TEST_PHASE", name}, {"ORVI_ENGINE_TEST_ROOT", root.path().string()}},
                 {}});
            const auto status = child->waitForExit(std::chrono::seconds(60)).value_or(-1);
            if (status != 0)
                for (const auto& line : child->lines())
                    std::fprintf(stderr, "  %s: %s\n", name, line.c_str());
            return status;
        };
        ASSERT_EQ(runPhase("login"), 0);
        EXPECT_TRUE(std::filesystem::exists(root.path() / "data" / kProfileA / "cookies.sqlite"));
        ASSERT_EQ(runPhase("restart"), 0);
        return;
    }

    WebKitTestEnvironment env{std::filesystem::path(shared)};
    auto store = env.engine->dataStore(kProfileA);
    RecordingNavigationDelegate nav;
    auto view = env.makeWebView(store, &nav);
    if (std::string(phase) == "login") {
        ASSERT_TRUE(logIn(env, *view, nav, "carol"));
        // Web storage reaches the disk a moment after it is written.
        view.reset();
        runMainLoopFor(std::chrono::seconds(2));
        return;
    }
    ASSERT_TRUE(loadAndWait(*view, nav, env.service->webURL("/")));
    auto cookies = allCookies(*store);
    auto session = findCookie(cookies, "orvi_session");
    ASSERT_TRUE(session.has_value());
    EXPECT_TRUE(session->isHTTPOnly);
    EXPECT_FALSE(findCookie(cookies, "orvi_visit").has_value()) << "a session cookie ends with the process";
    auto requests = env.service->requestsTo("web.orvi.test", "/");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].cookie("orvi_session"), session->value);
    EXPECT_EQ(requests[0].cookie("orvi_user"), "carol");
    EXPECT_EQ(valueOf(*view, "localStorage.getItem('orvi.token')"), "token-carol");
}
