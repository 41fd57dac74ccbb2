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

TEST(UnreadDetectionService, PassesValidCountsOnAndDropsMalformedMessages) {
    Fixture f;
    auto view = f.makeView();
    f.service->attach(view, kProfile);
    const std::string id = kProfile.text();
    for (const Json& body : {Json{{"count", 3}, {"profileId", id}}, Json{{"count", -5}, {"profileId", id}},
                             Json{{"count", 0}, {"profileId", id}}, Json{{"count", 2.9}, {"profileId", id}},
                             Json{{"count", 1e30}, {"profileId", id}},
                             Json{{"count", 18446744073709551615ull}, {"profileId", id}},
                             // Each of these is dropped.
                             Json{{"count", 3}, {"profileId", "11111111-2222-3333-4444-55555555555"}},
                             Json{{"count", 3}, {"profileId", 7}}, Json{{"count", "3"}, {"profileId", id}},
                             Json{{"profileId", id}}, Json{{"count", 3}}, Json::array({3, id}), Json("3")})
        view->postMessage("unreadCountHandler", body);
    std::vector<int> counts;
    for (const auto& event : f.events) {
        EXPECT_EQ(event.profileId, kProfile);
        counts.push_back(event.count);
    }
    EXPECT_EQ(counts, (std::vector<int>{3, 0, 0, 2, 2147483647, 2147483647}));
}

TEST(UnreadDetectionService, InjectsOneScriptWithTheProfileBakedInPassesRepeatsAndStopsWhenDetached) {
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
    EXPECT_EQ(view->messageHandlers.at("unreadCountHandler").world, script.world);
    for (int i = 0; i < 2; ++i)
        view->postMessage("unreadCountHandler", {{"count", 4}, {"profileId", kProfile.text()}});
    EXPECT_EQ(f.events.size(), 2u);

    f.service->detach(view);
    EXPECT_EQ(view->messageHandlers.count("unreadCountHandler"), 0u);
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
