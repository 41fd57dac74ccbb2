#include "core/page/PageDownloads.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewFactory.h"
#include "core/page/WebViewSessions.h"
#include "core/profiles/ProfileStore.h"
#include "core/shell/MainWebViewModel.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "engine/webkit/WebKitEngine.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingFileSaving.h"
#include "integration/WebKitTestSupport.h"
#include "support/PageFakes.h"
#include "ui/PageHostView.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

// Three profiles' real web views in the page host of a shown window; the page never loads
// (the virtual clock never lets the window wait end), which is all a switch needs.
TEST(PageStack, ASwitchShowsAnotherPageWithoutMovingAnyAndADroppedPageLeaves) {
    auto application =
        Gtk::Application::create("com.orviwrapper.PageStackTest", Gio::Application::Flags::NON_UNIQUE);
    LogCapture log;
    TempDir folder;
    engine::webkit::WebKitEngine engine(folder.path() / "data", folder.path() / "cache");
    ManualScheduler scheduler;
    MemoryPreferencesStore preferences;
    ProfileStore store{preferences};
    for (const auto* name : {"Работа", "Дом"})
        store.addProfile(Profile{ProfileId::generate(), name, false, StorageType::persistentMain, false,
                                 LocationSettings::defaultLocation(), true, true});
    const auto profiles = store.profiles();
    WebViewSessions sessions;
    PageDownloads pending{std::make_shared<RecordingFileSaving>(), {folder.path(), folder.path()}};
    RecordingNotificationService notifications;
    FakeVPNDetection vpn{scheduler};
    auto model =
        MainWebViewModel::create(store, SessionSync{}, nullptr,
                                 std::make_shared<NavigationPolicyService>(OrviDomains::defaults(), true),
                                 UnreadDetectionService::create(), notifications,
                                 CoordinatorContext{scheduler, OrviDomains::defaults(), sessions, pending});
    WebViewFactory factory(engine, preferences, scheduler, OrviDomains::defaults());
    auto host = std::make_unique<ui::PageHostView>(
        model,
        PageHost::Context{PageLoadContext{scheduler, preferences, OrviDomains::defaults(), vpn, sessions},
                          [&](const Profile& profile, const std::optional<LocationSettings>& location) {
                              return factory.makeWebView(profile, location);
                          }},
        [] { return PageLoader::Options{}; },
        [](engine::WebView& webView) { return engine::webkit::WebKitEngine::widget(webView); });
    auto dropped = factory.webViewRemoved.connect([&](const ProfileId& id) { host->dropPage(id); });
    Gtk::Window window;
    window.set_child(*host);
    window.present();

    auto shownWidget = [&] { return engine::webkit::WebKitEngine::widget(*host->webView()); };
    auto switchTo = [&](const Profile& profile) {
        store.setActiveProfile(profile.id);
        scheduler.advance(MainWebViewModel::kSwitchGuard);
        runMainLoopFor(std::chrono::milliseconds(50));
    };
    GtkWidget* first = shownWidget();
    GtkWidget* pages = gtk_widget_get_parent(first);
    ASSERT_TRUE(GTK_IS_STACK(pages));
    ASSERT_TRUE(runMainLoopUntil([&] { return gtk_widget_get_mapped(first); }));
    gtk_widget_grab_focus(first);
    int parentChanges = 0;
    const gulong watch = g_signal_connect_swapped(first, "notify::parent",
                                                  G_CALLBACK(+[](int* count) { ++*count; }), &parentChanges);

    switchTo(profiles[1]);
    GtkWidget* second = shownWidget();
    EXPECT_NE(second, first);
    EXPECT_EQ(gtk_stack_get_visible_child(GTK_STACK(pages)), second);
    EXPECT_FALSE(gtk_widget_get_mapped(first));
    EXPECT_EQ(gtk_root_get_focus(GTK_ROOT(window.gobj())), second)
        << "the keyboard follows the page on screen";
    switchTo(profiles[2]);
    switchTo(profiles[0]);
    EXPECT_EQ(shownWidget(), first);
    EXPECT_EQ(gtk_widget_get_parent(first), pages);
    EXPECT_EQ(parentChanges, 0) << "the page came back without leaving its place";
    EXPECT_TRUE(gtk_widget_get_mapped(first));
    EXPECT_EQ(gtk_root_get_focus(GTK_ROOT(window.gobj())), first);
    g_signal_handler_disconnect(first, watch);

    // A dropped page that is not on screen leaves at once; the one on screen stays until
    // its replacement is shown.
    factory.removeWebView(profiles[1].id);
    EXPECT_EQ(gtk_widget_get_parent(second), nullptr);
    factory.removeWebView(profiles[0].id);
    EXPECT_EQ(gtk_stack_get_visible_child(GTK_STACK(pages)), first);
    host->rebuildAfterDrop(profiles[0].id);
    scheduler.runPending();
    EXPECT_NE(shownWidget(), first);
    EXPECT_EQ(gtk_stack_get_visible_child(GTK_STACK(pages)), shownWidget());
    EXPECT_EQ(gtk_widget_get_parent(first), nullptr);
}
