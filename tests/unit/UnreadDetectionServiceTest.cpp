#include "core/page/UnreadDetectionService.h"

#include "fakes/FakeEngine.h"

#include <gtest/gtest.h>

using namespace orvi;
using orvi::test::FakeEngine;
using orvi::test::FakeWebView;

namespace {

const ProfileId kProfile = *ProfileId::parse("11111111-2222-3333-4444-555555555555");

struct Fixture {
    FakeEngine engine;
    std::shared_ptr<UnreadDetectionService> service = UnreadDetectionService::create();
    std::vector<UnreadEvent> events;
    Connection connection =
        service->subscribeUnreadCount([this](const UnreadEvent& e) { events.push_back(e); });

    std::shared_ptr<FakeWebView> makeView() {
        return std::static_pointer_cast<FakeWebView>(engine.makeWebView({engine.dataStore(kProfile.text())}));
    }
};

} // namespace

TEST(UnreadDetectionService, AttachingInjectsTheScriptOnceWithTheProfileBakedIn) {
    Fixture f;
    auto view = f.makeView();
    f.service->attach(view, kProfile);
    f.service->attach(view, kProfile);
    f.service->attach(view, ProfileId::generate());

    ASSERT_EQ(view->userScripts.size(), 1u);
    const auto& script = view->userScripts.front();
    EXPECT_NE(script.source.find("var profileId = \"" + kProfile.text() + "\";"), std::string::npos);
    EXPECT_EQ(script.injectionTime, engine::InjectionTime::documentEnd);
    EXPECT_EQ(script.frameScope, engine::FrameScope::mainFrameOnly);
    EXPECT_EQ(view->messageHandlers.count("unreadCountHandler"), 1u);
    EXPECT_EQ(view->messageHandlers.at("unreadCountHandler").world, script.world);
}

TEST(UnreadDetectionService, PassesValidCountsOnAndDropsMalformedMessages) {
    struct Case {
        Json body;
        std::optional<int> expected;
    };
    const std::string id = kProfile.text();
    const std::vector<Case> cases = {
        {{{"count", 3}, {"profileId", id}}, 3},
        {{{"count", -5}, {"profileId", id}}, 0},
        {{{"count", 0}, {"profileId", id}}, 0},
        {{{"count", 2.9}, {"profileId", id}}, 2},
        {{{"count", 1e30}, {"profileId", id}}, 2147483647},
        {{{"count", 18446744073709551615ull}, {"profileId", id}}, 2147483647},
        {{{"count", 3}, {"profileId", "11111111-2222-3333-4444-55555555555"}}, std::nullopt},
        {{{"count", 3}, {"profileId", 7}}, std::nullopt},
        {{{"count", "3"}, {"profileId", id}}, std::nullopt},
        {{{"profileId", id}}, std::nullopt},
        {{{"count", 3}}, std::nullopt},
        {Json::array({3, id}), std::nullopt},
        {Json("3"), std::nullopt},
    };
    for (const auto& c : cases) {
        Fixture f;
        auto view = f.makeView();
        f.service->attach(view, kProfile);
        view->postMessage("unreadCountHandler", c.body);
        if (c.expected) {
            ASSERT_EQ(f.events.size(), 1u) << c.body.dump();
            EXPECT_EQ(f.events[0], (UnreadEvent{kProfile, *c.expected})) << c.body.dump();
        } else {
            EXPECT_TRUE(f.events.empty()) << c.body.dump();
        }
    }
}

TEST(UnreadDetectionService, RepeatsPassAgainAndADetachedViewStopsReportingButKeepsItsOneScript) {
    Fixture f;
    auto view = f.makeView();
    f.service->attach(view, kProfile);
    for (int i = 0; i < 2; ++i)
        view->postMessage("unreadCountHandler", {{"count", 4}, {"profileId", kProfile.text()}});
    EXPECT_EQ(f.events.size(), 2u);

    f.service->detach(view);
    EXPECT_EQ(view->messageHandlers.count("unreadCountHandler"), 0u);
    EXPECT_EQ(view->userScripts.size(), 1u);
    f.service->attach(view, kProfile);
    EXPECT_EQ(view->userScripts.size(), 1u);
    view->postMessage("unreadCountHandler", {{"count", 1}, {"profileId", kProfile.text()}});
    EXPECT_EQ(f.events.size(), 3u);
    f.service->detach(view);

    // A new web view at the address of a destroyed one is a new view.
    for (int i = 0; i < 3; ++i) {
        view = f.makeView();
        f.service->attach(view, kProfile);
        EXPECT_EQ(view->userScripts.size(), 1u);
        f.service->detach(view);
    }
}
