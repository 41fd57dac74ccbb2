#include "core/notify/NotificationService.h"

#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/RecordingDesktop.h"
#include "support/NamedProfile.h"

#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using orvi::NotificationService;
using orvi::ProfileId;
using orvi::test::namedProfile;

namespace {

struct NotificationServiceTest : ::testing::Test {
    orvi::test::ManualScheduler scheduler;
    orvi::test::RecordingNotifier notifier;
    orvi::test::RecordingLauncherBadge badge;
    orvi::test::LogCapture log;
    NotificationService service{scheduler, notifier, badge};
    ProfileId work = ProfileId::generate();
    ProfileId home = ProfileId::generate();
};

TEST(NotificationServiceText, UsesTheRussianPluralFormForEachCount) {
    struct Case {
        int count;
        const char* text;
    };
    const Case cases[] = {
        {1, "1 новое сообщение"},     {2, "2 новых сообщения"},     {5, "5 новых сообщений"},
        {11, "11 новых сообщений"},   {14, "14 новых сообщений"},   {21, "21 новое сообщение"},
        {111, "111 новых сообщений"}, {112, "112 новых сообщений"}, {122, "122 новых сообщения"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NotificationService::newMessagesText(c.count), c.text) << c.count;
}

// A page's own baseline drops a pending rise, and later rises count from it.
TEST_F(NotificationServiceTest, AFirstReportOrARebaseOnlySetsTheBaselineOrWithdrawsWhatAnEarlierRunLeft) {
    service.notifyUnread(namedProfile(home, "Дом"), 0);
    service.notifyUnread(namedProfile(work, "Работа"), 5);
    scheduler.advance(5s);
    EXPECT_TRUE(notifier.posted.empty());
    EXPECT_EQ(notifier.withdrawn, std::vector<std::string>{"unread-" + home.text()});

    service.notifyUnread(namedProfile(work, "Работа"), 6);
    scheduler.advance(0.79s);
    EXPECT_TRUE(notifier.posted.empty());
    scheduler.advance(0.02s);
    ASSERT_EQ(notifier.posted.size(), 1u);
    EXPECT_EQ(notifier.posted[0].body, "1 новое сообщение");

    service.notifyUnread(namedProfile(work, "Работа"), 9);
    service.rebaseUnread(namedProfile(work, "Работа"), 11);
    scheduler.advance(2s);
    EXPECT_EQ(notifier.posted.size(), 1u);
    EXPECT_EQ(badge.counts.back(), 11);
    service.notifyUnread(namedProfile(work, "Работа"), 12);
    scheduler.advance(2s);
    ASSERT_EQ(notifier.posted.size(), 2u);
    EXPECT_EQ(notifier.posted[1].body, "1 новое сообщение");
    service.rebaseUnread(namedProfile(work, "Работа"), 0);
    EXPECT_EQ(notifier.withdrawn.back(), NotificationService::notificationIdentifier(work));
    EXPECT_EQ(badge.counts.back(), 0);
}

TEST_F(NotificationServiceTest, RisesWithinTheDelayGiveOneNotificationForTheirSumAndZeroWithdrawsIt) {
    service.notifyUnread(namedProfile(work, "Работа"), 2);
    service.notifyUnread(namedProfile(work, "Работа"), 3);
    scheduler.advance(0.5s);
    service.notifyUnread(namedProfile(work, "Работа"), 4);
    scheduler.advance(0.7s);
    EXPECT_TRUE(notifier.posted.empty()) << "the wait restarts with every report";
    scheduler.advance(0.1s);

    ASSERT_EQ(notifier.posted.size(), 1u);
    EXPECT_EQ(notifier.posted[0].subtitle, "Новые сообщения");
    EXPECT_EQ(notifier.posted[0].body, "2 новых сообщения");

    service.notifyUnread(namedProfile(work, "Работа"), -2);
    EXPECT_EQ(notifier.withdrawn, std::vector<std::string>{"unread-" + work.text()});
    EXPECT_EQ(badge.last(), 0);
    service.notifyUnread(namedProfile(work, "Работа"), 1);
    scheduler.advance(1s);
    ASSERT_EQ(notifier.posted.size(), 2u);
    EXPECT_EQ(notifier.posted[1].body, "1 новое сообщение") << "the next message notifies again";
}

TEST_F(NotificationServiceTest, ARiseUndoneWithinTheDelayGivesNothing) {
    struct Case {
        const char* name;
        int fallTo;
    };
    for (const auto& c : {Case{"below the baseline", 1}, Case{"back to the baseline", 3}}) {
        NotificationService fresh{scheduler, notifier, badge};
        notifier.posted.clear();
        fresh.notifyUnread(namedProfile(work, "Работа"), 3);
        fresh.notifyUnread(namedProfile(work, "Работа"), 6);
        scheduler.advance(0.4s);
        fresh.notifyUnread(namedProfile(work, "Работа"), c.fallTo);
        scheduler.advance(2s);
        EXPECT_TRUE(notifier.posted.empty()) << c.name;

        fresh.notifyUnread(namedProfile(work, "Работа"), c.fallTo + 1);
        scheduler.advance(1s);
        ASSERT_EQ(notifier.posted.size(), 1u) << c.name;
        EXPECT_EQ(notifier.posted[0].body, "1 новое сообщение") << "a fall lowers the baseline: " << c.name;
    }
}

TEST_F(NotificationServiceTest, BadgeAndTitleShowTheTotalFromAnyThreadAndForgettingAProfileTakesItsCountOut) {
    int changes = 0;
    auto connection = service.subscribeToUnreadCounts([&] { ++changes; });
    std::thread([&] { service.notifyUnread(namedProfile(work, "Работа"), 3); }).join();
    EXPECT_TRUE(service.unreadCounts().empty()) << "calls from other threads run on the main queue";
    scheduler.runPending();
    service.notifyUnread(namedProfile(home, "Дом"), 4);
    EXPECT_EQ(badge.last(), 7);
    EXPECT_EQ(NotificationService::windowTitle(service.totalUnreadCount()), "(7) OrviWrapper");
    service.notifyUnread(namedProfile(home, "Дом"), 6);
    changes = 0;

    service.retainProfiles({work});
    EXPECT_EQ(badge.last(), 3);
    EXPECT_EQ(service.unreadCounts().count(home), 0u);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(notifier.withdrawn, std::vector<std::string>{"unread-" + home.text()});
    scheduler.advance(2s);
    EXPECT_TRUE(notifier.posted.empty()) << "the pending rise of the deleted profile is dropped";
    service.forgetProfile(home);
    EXPECT_EQ(changes, 1) << "forgetting an unknown profile changes nothing";

    service.notifyUnread(namedProfile(work, "Работа"), 0);
    EXPECT_EQ(badge.last(), 0);
    EXPECT_EQ(NotificationService::windowTitle(service.totalUnreadCount()), "OrviWrapper");
}

} // namespace
