#include "core/notify/StatusBarController.h"

#include "core/notify/NotificationDelegate.h"
#include "core/notify/NotificationService.h"
#include "core/profiles/ProfileStore.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingDesktop.h"
#include "support/NamedProfile.h"

#include <gtest/gtest.h>

using orvi::ProfileId;
using orvi::StatusBarController;
using orvi::platform::StatusMenuItem;
using orvi::test::namedProfile;

namespace {

struct StatusBarControllerTest : ::testing::Test {
    StatusBarControllerTest() {
        store.addProfile(namedProfile(ProfileId::generate(), "Работа"));
        store.addProfile(namedProfile(ProfileId::generate(), "Дом_2"));
        main = store.profiles()[0];
        work = store.profiles()[1];
        home = store.profiles()[2];
        controller.setup(item, store, service, {[this] { ++presented; }, [this] { ++quits; }});
    }

    const StatusMenuItem& profileItem(const std::string& name) {
        const auto* entry = item.item(name);
        EXPECT_NE(entry, nullptr) << name;
        return *entry;
    }

    orvi::test::ManualScheduler scheduler;
    orvi::test::RecordingNotifier notifier;
    orvi::test::RecordingLauncherBadge badge;
    orvi::test::RecordingStatusItem item;
    orvi::test::MemoryPreferencesStore prefs;
    orvi::ProfileStore store{prefs};
    orvi::NotificationService service{scheduler, notifier, badge};
    StatusBarController controller;
    orvi::Profile main = orvi::Profile::makeDefault(), work = main, home = main;
    int presented = 0;
    int quits = 0;
};

TEST_F(StatusBarControllerTest, ToolTipNamesTheActiveProfileAndTheTotalOfAllProfiles) {
    EXPECT_EQ(item.toolTip, "OrviWrapper, профиль Основной");
    service.notifyUnread(work, 2);
    service.notifyUnread(home, 3);
    EXPECT_EQ(item.toolTip, "OrviWrapper, профиль Основной, непрочитанных: 5");

    store.setActiveProfile(work.id);
    EXPECT_EQ(item.toolTip, "OrviWrapper, профиль Работа, непрочитанных: 5");
    auto renamed = work;
    renamed.name = "Офис";
    store.updateProfile(renamed);
    EXPECT_EQ(item.toolTip, "OrviWrapper, профиль Офис, непрочитанных: 5");

    service.notifyUnread(work, 0);
    service.notifyUnread(home, 0);
    EXPECT_EQ(item.toolTip, "OrviWrapper, профиль Офис");
}

TEST_F(StatusBarControllerTest, AProfileKeepsItsMenuIdAndOnlyALiveProfilesItemSwitches) {
    const int workId = profileItem("Работа").id;
    const int homeId = profileItem("Дом_2").id;
    store.deleteProfile(work.id);
    EXPECT_EQ(profileItem("Дом_2").id, homeId) << "a profile keeps its menu id across list changes";
    EXPECT_EQ(item.item("Работа"), nullptr);
    for (int id : {StatusBarController::kHeaderItemId, StatusBarController::kProfilesSeparatorId, workId})
        item.choose(id);
    EXPECT_EQ(store.activeProfile().id, main.id);
    EXPECT_EQ(quits, 0);
    item.choose(homeId);
    EXPECT_EQ(store.activeProfile().id, home.id);
}

struct NotificationDelegateTest : StatusBarControllerTest {
    orvi::NotificationDelegate delegate{scheduler, notifier, [this] { ++presented; }};
};

TEST_F(NotificationDelegateTest, ABodyOrButtonClickSwitchesToItsProfileAfterTheCallbackOthersChangeNothing) {
    notifier.click("OPEN_PROFILE", work.id.text());
    scheduler.runPending();
    EXPECT_EQ(store.activeProfile().id, main.id) << "no store before the window appeared";

    delegate.setProfileStore(&store);
    for (const std::string& target : {std::string("not-a-uuid"), std::string(""),
                                      ProfileId::generate().text(), "{" + work.id.text() + "}"})
        notifier.click("OPEN_PROFILE", target);
    scheduler.runPending();
    EXPECT_EQ(store.activeProfile().id, main.id);
    EXPECT_EQ(presented, 0);

    notifier.click(orvi::platform::kDefaultActionIdentifier, work.id.text());
    EXPECT_EQ(store.activeProfile().id, main.id) << "the switch is scheduled, not run inside the click";
    scheduler.runPending();
    EXPECT_EQ(store.activeProfile().id, work.id);
    EXPECT_EQ(presented, 1);
}

} // namespace

// A hibernated profile keeps its last count, marked as asleep, and still switches.
TEST_F(StatusBarControllerTest, EachProfileLineCarriesItsCountAndSleepAndDoNotDisturbIsChosenFromTheMenu) {
    auto wall = std::chrono::system_clock::now();
    orvi::NotificationQuietRules rules{prefs, [&] { return wall; }};
    controller.setup(item, store, service, {}, &rules);
    service.notifyUnread(work, 3);
    EXPECT_NE(item.item("Работа (3)"), nullptr);
    EXPECT_NE(item.item("Дом_2"), nullptr);
    service.notifyUnread(work, 0);
    EXPECT_NE(item.item("Работа"), nullptr);

    struct Case {
        const char* label;
        std::optional<orvi::DoNotDisturb> kind;
    };
    const Case cases[] = {{"на 1 час", orvi::DoNotDisturb::forOneHour},
                          {"до утра", orvi::DoNotDisturb::untilMorning},
                          {"пока не выключу", orvi::DoNotDisturb::untilTurnedOff}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const int id = profileItem(c.label).id;
        item.menuItemClicked().emit(id);
        EXPECT_EQ(rules.doNotDisturbKind(), c.kind);
        EXPECT_TRUE(profileItem(c.label).checked);
        EXPECT_FALSE(rules.allows(work.id));
    }
    item.menuItemClicked().emit(profileItem("пока не выключу").id);
    EXPECT_FALSE(rules.isDoNotDisturbOn()) << "choosing the checked entry again ends it";
    EXPECT_TRUE(rules.allows(work.id));
    EXPECT_EQ(store.activeProfile().id, main.id);

    orvi::Published<std::set<ProfileId>> hibernated;
    controller.showHibernated(hibernated);
    service.notifyUnread(work, 3);
    hibernated.set({work.id});
    const auto asleep = StatusBarController::profileLine("Работа", 3, true);
    ASSERT_NE(item.item(asleep), nullptr);
    EXPECT_EQ(item.item("Работа (3)"), nullptr);
    item.menuItemClicked().emit(profileItem(asleep).id);
    EXPECT_EQ(store.activeProfile().id, work.id);
    hibernated.set({});
    EXPECT_NE(item.item("Работа (3)"), nullptr);
}
