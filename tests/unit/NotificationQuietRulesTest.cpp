#include "core/notify/NotificationQuietRules.h"

#include "core/notify/NotificationService.h"
#include "core/prefs/PreferenceKeys.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingDesktop.h"
#include "support/NamedProfile.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace std::chrono_literals;
using orvi::test::namedProfile;

namespace {

struct QuietFixture {
    QuietFixture() {
        service.setDeliveryRule([this](const ProfileId& id) { return rules.allows(id); });
    }
    // Counts keep flowing as the page reports them, one per step.
    void rise(const ProfileId& id, int count) {
        service.notifyUnread(namedProfile(id, "Работа"), count);
        scheduler.advance(1s);
    }

    orvi::test::LogCapture log;
    orvi::test::ManualScheduler scheduler;
    orvi::test::MemoryPreferencesStore preferences;
    orvi::test::RecordingNotifier notifier;
    orvi::test::RecordingLauncherBadge badge;
    std::chrono::system_clock::time_point wallNow = std::chrono::system_clock::now();
    NotificationQuietRules rules{preferences, [this] { return wallNow; }};
    NotificationService service{scheduler, notifier, badge};
    ProfileId work = ProfileId::generate();
    ProfileId home = ProfileId::generate();
};

} // namespace

TEST(NotificationQuietRules, EachRuleHoldsNotificationsBackButNotCountsAndNothingStaleFollows) {
    struct Case {
        const char* name;
        std::function<void(QuietFixture&)> quiet;
        std::function<void(QuietFixture&)> end;
        bool onlyThisProfile = false;
    };
    const Case cases[] = {
        {"setting off", [](auto& f) { f.preferences.setBoolean(keys::kNotificationsEnabled, false); },
         [](auto& f) { f.preferences.setBoolean(keys::kNotificationsEnabled, true); }},
        {"for one hour", [](auto& f) { f.rules.startDoNotDisturb(DoNotDisturb::forOneHour); },
         [](auto& f) { f.wallNow += 61min; }},
        {"until morning", [](auto& f) { f.rules.startDoNotDisturb(DoNotDisturb::untilMorning); },
         [](auto& f) { f.wallNow += 25h; }},
        {"until turned off", [](auto& f) { f.rules.startDoNotDisturb(DoNotDisturb::untilTurnedOff); },
         [](auto& f) { f.rules.stopDoNotDisturb(); }},
        {"this profile silenced", [](auto& f) { f.rules.setProfileSilenced(f.work, true); },
         [](auto& f) { f.rules.setProfileSilenced(f.work, false); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuietFixture f;
        EXPECT_TRUE(f.rules.allows(f.work)) << "a never written setting notifies";
        f.rise(f.work, 1);
        c.quiet(f);
        EXPECT_EQ(f.rules.allows(f.home), c.onlyThisProfile);
        f.wallNow += 59min;
        f.rise(f.work, 4);
        EXPECT_TRUE(f.notifier.posted.empty());
        EXPECT_EQ(f.badge.counts.back(), 4);
        EXPECT_EQ(f.service.unreadCounts().at(f.work), 4);

        c.end(f);
        EXPECT_TRUE(f.rules.allows(f.work));
        f.rise(f.work, 4);
        EXPECT_TRUE(f.notifier.posted.empty()) << "a rise seen while quiet never pops up later";
        f.rise(f.work, 6);
        ASSERT_EQ(f.notifier.posted.size(), 1u);
        EXPECT_EQ(f.notifier.posted[0].body, "2 новых сообщения");
    }
}

TEST(NotificationQuietRules, MorningIsTheNextEightOClockLocalTime) {
    for (const int hour : {0, 7, 8, 13, 23}) {
        SCOPED_TRACE(hour);
        std::tm local{
            .tm_min = 30, .tm_hour = hour, .tm_mday = 10, .tm_mon = 2, .tm_year = 126, .tm_isdst = -1};
        const auto now = std::chrono::system_clock::from_time_t(std::mktime(&local));
        const auto morning = NotificationQuietRules::nextMorning(now);
        const std::time_t seconds = std::chrono::system_clock::to_time_t(morning);
        std::tm result{};
        localtime_r(&seconds, &result);
        EXPECT_EQ(result.tm_hour, 8);
        EXPECT_EQ(result.tm_min, 0);
        EXPECT_EQ(result.tm_mday, hour < 8 ? 10 : 11);
        EXPECT_GT(morning, now);
        EXPECT_LE(morning - now, 24h);
    }
}
