#include "SessionTestSupport.h"
#include "core/session/CookieDictionary.h"

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

class CookieJarSyncTest : public SessionFixture {
protected:
    void restore() {
        jar->restoreCookies(profile, store, [this] { ++doneCount; });
    }
};

} // namespace

TEST_F(CookieJarSyncTest, SavesTheStoresCookiesInOrderButNeverAnEmptyOrUnreadableStoreOverASavedSession) {
    jar->saveCookies(profile, store, [this] { ++doneCount; });
    EXPECT_FALSE(savedCookies());
    prefs.setData(keys::cookies(profile), R"([{"name":"sid"}])");
    jar->saveCookies(profile, store, [this] { ++doneCount; });
    store->cookies.cookies = {makeCookie("b", "2"), makeCookie("a", "1", "web.orvi.test", std::nullopt)};
    store->cookies.readFailure = Error{"WebKit", 1, "no jar"};
    jar->saveCookies(profile, store, [this] { ++doneCount; });
    EXPECT_EQ(savedCookies(), R"([{"name":"sid"}])");
    EXPECT_EQ(doneCount, 3);

    store->cookies.readFailure.reset();
    jar->saveCookies(profile, store);
    auto saved = parseJson(savedCookies().value_or(""));
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, cookies::toDictionaries(store->cookies.cookies));
    EXPECT_FALSE(saved->at(1).contains("expiresDate"));
    EXPECT_GE(prefs.synchronizeCount(), 1);
}

TEST_F(CookieJarSyncTest, AStoreAnsweringAfterTheSyncIsGoneSavesNothing) {
    store->cookies.cookies = {makeCookie("sid", "1")};
    store->cookies.deferAnswers = true;
    jar->saveCookies(profile, store);
    importer.reset(); // it shares the jar
    jar.reset();
    store->cookies.releaseDeferred();
    EXPECT_FALSE(savedCookies());
}

TEST_F(CookieJarSyncTest, StrictReadingSkipsIncompleteDictionariesAndAFullerStoreWarnsButCompletes) {
    prefs.setData(keys::cookies(profile),
                  R"([{"name":"sid","value":"1","domain":"web.orvi.test","path":"/","sameSitePolicy":"lax"},
                      {"name":"nopath","value":"2","domain":"web.orvi.test"}])");
    store->cookies.cookies = {makeCookie("other", "x", "elsewhere.test")};
    restore();
    scheduler.runPending();
    EXPECT_EQ(doneCount, 1);
    EXPECT_TRUE(log.containsSubstring("mismatch"));
    ASSERT_EQ(store->cookies.cookies.size(), 2u);
    EXPECT_FALSE(store->cookies.cookies[1].sameSitePolicy);
}

TEST_F(CookieJarSyncTest, UnreadableOrLegacyEntriesAreClearedAndTheRestoreStillCompletesOnce) {
    for (const auto& entry : {std::string("bplist00\xD4\x01\x02", 11), std::string(R"({"name":"sid"})"),
                              std::string("[1,2]"), std::string(R"([{"name":)")}) {
        doneCount = 0;
        prefs.setData(keys::cookies(profile), entry);
        restore();
        EXPECT_EQ(doneCount, 1) << entry;
        EXPECT_FALSE(savedCookies()) << entry;
        EXPECT_EQ(store->cookies.setCount, 0);
    }
}

TEST_F(CookieJarSyncTest, NothingSavedCompletesAtOnceAnEmptyArrayVerifiesAndAGoneStoreCompletesOnce) {
    restore();
    EXPECT_EQ(doneCount, 1);

    prefs.setData(keys::cookies(profile), "[]");
    restore();
    EXPECT_EQ(doneCount, 1) << "the empty restore completes on the main queue";
    scheduler.runPending();
    EXPECT_EQ(doneCount, 2);

    doneCount = 0;
    prefs.setData(keys::cookies(profile), cookies::toDictionaries({makeCookie("sid", "1")}).dump());
    store->cookies.deferAnswers = true;
    restore();
    view.reset();
    store.reset();
    scheduler.runPending();
    EXPECT_EQ(doneCount, 1);
    scheduler.advance(10s);
    EXPECT_EQ(doneCount, 1);
}

TEST_F(CookieJarSyncTest, ClearingForgetsOnlyTheSavedEntry) {
    prefs.setData(keys::cookies(profile), "[]");
    prefs.setData(keys::storage(profile), "{}");
    store->cookies.cookies = {makeCookie("sid", "1")};
    jar->clearCookies(profile);
    EXPECT_FALSE(savedCookies());
    EXPECT_TRUE(savedStorage());
    EXPECT_EQ(store->cookies.cookies.size(), 1u);
}

TEST_F(CookieJarSyncTest, APersistentStoreKeepsWhatItHoldsAndOnlyLacksAreFilledFromTheSavedCopy) {
    const std::vector<engine::Cookie> saved = {makeCookie("sid", "old"), makeCookie("csrf", "2")};
    const auto rotated = makeCookie("sid", "new");
    const engine::Cookie otherPath{"sid", "x", ".web.orvi.test", "/x", true, true, 1893456000.5};
    struct Case {
        const char* name;
        bool persistent;
        bool readFails;
        std::vector<engine::Cookie> live;
        std::vector<engine::Cookie> expected;
    } cases[] = {
        {"rotated since the save", true, false, {rotated}, {rotated, saved[1]}},
        {"same name on another path", true, false, {otherPath}, {otherPath, saved[0], saved[1]}},
        {"store that keeps nothing", false, false, {rotated}, saved},
        {"unreadable store", true, true, {rotated}, saved},
    };
    for (const auto& c : cases) {
        doneCount = 0;
        store = std::make_shared<FakeDataStore>(c.persistent, "profile");
        store->cookies.cookies = c.live;
        if (c.readFails)
            store->cookies.readFailure = Error{"WebKit", 1, "no jar"};
        prefs.setData(keys::cookies(profile), cookies::toDictionaries(saved).dump());
        restore();
        scheduler.runPending();
        EXPECT_EQ(doneCount, 1) << c.name;
        EXPECT_EQ(store->cookies.cookies, c.expected) << c.name;
    }
}
