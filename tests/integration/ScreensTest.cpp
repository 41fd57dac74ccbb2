#include "core/page/PageDownloads.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewFactory.h"
#include "core/page/WebViewSessions.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/profiles/ProfileStore.h"
#include "core/profiles/ProfilesViewModel.h"
#include "core/shell/MainWebViewModel.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "engine/webkit/WebKitEngine.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingFileSaving.h"
#include "integration/WebKitTestSupport.h"
#include "support/PageFakes.h"
#include "ui/MainWindow.h"
#include "ui/PageHostView.h"
#include "ui/PasswordSheets.h"
#include "ui/ScreenActions.h"
#include "ui/Styles.h"

#include <gtest/gtest.h>
#include <gtkmm/init.h>

using namespace orvi;
using namespace orvi::test;

namespace {

void drainMainContext() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// The screens as the application builds them, over a store in memory (the default profile
// and the ones named) and a page that never loads: the main window with its toolbar, the
// actions, the sheets.
struct ScreensFixture {
    explicit ScreensFixture(const std::vector<std::string>& names = {}) {
        for (const auto& name : names)
            profiles.addProfile({name});
        ui::installStyles();
        window = std::make_unique<ui::MainWindow>(WindowSize{450, 800});
        window->installToolbar(profiles, mainModel);
        actions = std::make_unique<ui::ScreenActions>(
            ui::ScreenActions::Parts{application,
                                     *window,
                                     profiles,
                                     mainModel,
                                     [this] { return preferences.boolean(keys::kIgnoreVPNWarning); },
                                     [this] { preferences.setBoolean(keys::kIgnoreVPNWarning, true); },
                                     vpn,
                                     {},
                                     [this](bool ignore, bool warnAgain) {
                                         retries.push_back({ignore, warnAgain});
                                     },
                                     [this](const ProfileId& id) { rebuilt.push_back(id); },
                                     [] { return nullptr; }});
    }
    ~ScreensFixture() {
        actions.reset();
        window.reset();
        drainMainContext();
    }

    const Profile& named(const std::string& name) const {
        for (const auto& p : store.profiles())
            if (p.name == name)
                return p;
        throw std::runtime_error("no profile " + name);
    }
    // Activates what the shortcut is bound to, the way GTK does on the key press.
    void pressShortcut(const std::string& accelerator) {
        const auto bound = application->get_actions_for_accel(accelerator);
        ASSERT_EQ(bound.size(), 1u) << accelerator;
        gchar* name = nullptr;
        GVariant* target = nullptr;
        ASSERT_TRUE(g_action_parse_detailed_name(bound[0].c_str(), &name, &target, nullptr));
        const std::string full(name);
        g_free(name);
        ASSERT_TRUE(full.starts_with("app."));
        auto action = application->lookup_action(full.substr(4));
        ASSERT_TRUE(action);
        action->activate_variant(Glib::VariantBase(target, false));
    }
    void activate(const std::string& action, const Glib::VariantBase& parameter = {}) {
        application->lookup_action(action)->activate_variant(parameter);
    }

    Glib::RefPtr<Gtk::Application> application =
        Gtk::Application::create("com.orviwrapper.ScreensTest", Gio::Application::Flags::NON_UNIQUE);
    // First, so that it outlives every web view; only the page tests build it.
    TempDir folder;
    std::unique_ptr<engine::webkit::WebKitEngine> engine;
    LogCapture log;
    ManualScheduler scheduler;
    MemoryPreferencesStore preferences;
    ProfileStore store{preferences};
    WebViewSessions sessions;
    PageDownloads pending{std::make_shared<RecordingFileSaving>(),
                          {std::filesystem::temp_directory_path(), std::filesystem::temp_directory_path()}};
    RecordingNotificationService notifications;
    FakeVPNDetection vpn{scheduler};
    std::shared_ptr<MainWebViewModel> mainModel =
        MainWebViewModel::create(store, SessionSync{}, nullptr,
                                 std::make_shared<NavigationPolicyService>(OrviDomains::defaults(), true),
                                 UnreadDetectionService::create(), notifications,
                                 CoordinatorContext{scheduler, OrviDomains::defaults(), sessions, pending});
    std::shared_ptr<RecordingFactory> factory = std::make_shared<RecordingFactory>();
    ProfilesViewModel profiles{store, factory};
    std::vector<ProfileId> rebuilt;
    std::vector<std::pair<bool, bool>> retries;
    std::unique_ptr<ui::MainWindow> window;
    std::unique_ptr<ui::ScreenActions> actions;
};

} // namespace

TEST(Screens, FormsRefuseATakenNameOnlyACityChangeRebuildsThePageAndControlDigitSwitches) {
    ScreensFixture f;
    f.activate("profiles");
    auto* screen = f.actions->profilesScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->deleteButtonCount(), 0) << "only more than one profile can be deleted";
    f.profiles.addProfile({"работа"});
    EXPECT_EQ(screen->deleteButtonCount(), 2);

    auto& add = screen->showAddForm();
    add.setName("  Работа ");
    EXPECT_EQ(add.shownNameError(), "Профиль с таким именем уже существует");
    EXPECT_FALSE(add.canSave());
    add.save();
    EXPECT_EQ(f.store.profiles().size(), 2u);
    add.close();
    drainMainContext();

    const auto work = f.named("работа");
    auto& rename = screen->showEditForm(work);
    rename.setName("РАБОТА");
    EXPECT_FALSE(rename.shownNameError());
    rename.save();
    drainMainContext();
    EXPECT_EQ(f.store.profiles().back().name, "РАБОТА");
    EXPECT_TRUE(f.factory->removed.empty());
    EXPECT_TRUE(f.rebuilt.empty());

    auto& move = screen->showEditForm(f.named("РАБОТА"));
    move.setCity(LocationSettings::presets().size() - 1);
    move.save();
    EXPECT_EQ(f.factory->removed, std::vector<ProfileId>{work.id});
    EXPECT_EQ(f.rebuilt, std::vector<ProfileId>{work.id});
    EXPECT_EQ(f.named("РАБОТА").locationSettings.cityName, LocationSettings::presets().back().cityName);

    f.profiles.addProfile({"Дом"});
    const auto before = f.log.lines().size();
    f.activate("navigate", Glib::Variant<int>::create(2));
    drainMainContext();
    f.scheduler.runPending();
    EXPECT_EQ(f.log.lines().size(), before) << "a section before the page does nothing";
    f.pressShortcut("<Control>2");
    EXPECT_EQ(f.store.activeProfile().name, "РАБОТА");
    f.pressShortcut("<Control>9");
    EXPECT_EQ(f.store.activeProfile().name, "РАБОТА") << "no ninth profile, no switch";
}

// Each button of the VPN alert closes it and lets the held page try again; only "Мне всё
// равно" keeps the warning away from then on.
TEST(Screens, EveryButtonOfTheVPNAlertLetsThePageTryAgain) {
    for (const std::string response : {"disconnect", "ignore", "cancel"}) {
        ScreensFixture f;
        f.actions->vpnWarningFlow().loadAskedForWarning();
        AdwMessageDialog* alert = nullptr;
        GList* toplevels = gtk_window_list_toplevels();
        for (GList* item = toplevels; item; item = item->next)
            if (ADW_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
                alert = ADW_MESSAGE_DIALOG(item->data);
        g_list_free(toplevels);
        ASSERT_NE(alert, nullptr);
        adw_message_dialog_response(alert, response.c_str());
        drainMainContext();
        const bool ignored = response == "ignore";
        EXPECT_EQ(f.preferences.boolean(keys::kIgnoreVPNWarning), ignored) << response;
        EXPECT_EQ(f.retries, (std::vector<std::pair<bool, bool>>{{ignored, false}})) << response;
        EXPECT_FALSE(f.actions->vpnWarningFlow().isWarningShown());
    }
}

TEST(Screens, CoordinatesReadBothDecimalSeparatorsAndFlagWhatIsNoNumber) {
    struct Case {
        std::string text;
        std::optional<double> value;
        bool malformed;
    };
    for (const auto& c : std::vector<Case>{{"", std::nullopt, false},
                                           {"55,75", 55.75, false},
                                           {" 37.6 ", 37.6, false},
                                           {"−12.5", -12.5, false},
                                           {"север", std::nullopt, true},
                                           {"12.5.1", std::nullopt, true},
                                           {"1e400", std::nullopt, true}}) {
        bool malformed = false;
        EXPECT_EQ(ui::ProfileForm::parseCoordinate(c.text, malformed), c.value) << c.text;
        EXPECT_EQ(malformed, c.malformed) << c.text;
    }
    for (const auto& [value, text] : std::vector<std::pair<std::optional<double>, std::string>>{
             {std::nullopt, ""}, {10.0, "10"}, {55.75, "55.75"}, {0.123456789, "0.12345679"}, {-0.0, "0"}}) {
        EXPECT_EQ(ui::ProfileForm::formatCoordinate(value), text);
        bool malformed = false;
        if (value) {
            EXPECT_NEAR(ui::ProfileForm::parseCoordinate(text, malformed).value_or(1e9), *value, 1e-8);
        }
    }
}

// Three profiles' real web views in the page host of the shown window; the page never loads
// (the virtual clock never lets the window wait end), which is all a switch needs.
TEST(Screens, ASwitchShowsAnotherPageWithoutMovingAnyAndADroppedPageLeaves) {
    ScreensFixture f({"Работа", "Дом"});
    const auto profiles = f.store.profiles();
    f.engine =
        std::make_unique<engine::webkit::WebKitEngine>(f.folder.path() / "data", f.folder.path() / "cache");
    WebViewFactory factory(*f.engine, f.preferences, f.scheduler, OrviDomains::defaults());
    auto host = std::make_unique<ui::PageHostView>(
        f.mainModel,
        PageHost::Context{
            PageLoadContext{f.scheduler, f.preferences, OrviDomains::defaults(), f.vpn, f.sessions},
            [&](const Profile& profile, const std::optional<LocationSettings>& location) {
                return factory.makeWebView(profile, location);
            }},
        [] { return PageLoader::Options{}; },
        [](engine::WebView& webView) { return engine::webkit::WebKitEngine::widget(webView); });
    auto dropped = factory.webViewRemoved.connect([&](const ProfileId& id) { host->dropPage(id); });
    f.window->setContent(*host);
    f.window->present();
    GtkRoot* root = GTK_ROOT(f.window->gobj());

    auto shownWidget = [&] { return engine::webkit::WebKitEngine::widget(*host->webView()); };
    auto switchTo = [&](const Profile& profile) {
        f.store.setActiveProfile(profile.id);
        f.scheduler.advance(MainWebViewModel::kSwitchGuard);
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
    EXPECT_EQ(gtk_root_get_focus(root), second) << "the keyboard follows the page on screen";
    switchTo(profiles[2]);
    switchTo(profiles[0]);
    EXPECT_EQ(shownWidget(), first);
    EXPECT_EQ(gtk_widget_get_parent(first), pages);
    EXPECT_EQ(parentChanges, 0) << "the page came back without leaving its place";
    EXPECT_TRUE(gtk_widget_get_mapped(first));
    EXPECT_EQ(gtk_root_get_focus(root), first);
    g_signal_handler_disconnect(first, watch);

    // A dropped page that is not on screen leaves at once; the one on screen stays until
    // its replacement is shown.
    factory.removeWebView(profiles[1].id);
    EXPECT_EQ(gtk_widget_get_parent(second), nullptr);
    factory.removeWebView(profiles[0].id);
    EXPECT_EQ(gtk_stack_get_visible_child(GTK_STACK(pages)), first);
    host->rebuildAfterDrop(profiles[0].id);
    f.scheduler.runPending();
    EXPECT_NE(shownWidget(), first);
    EXPECT_EQ(gtk_stack_get_visible_child(GTK_STACK(pages)), shownWidget());
    EXPECT_EQ(gtk_widget_get_parent(first), nullptr);
    f.actions.reset();
    f.window.reset();
}

TEST(SettingsScreen, EncryptedExportStaysDisabledUntilBothPasswordsMatchAndAreNotEmpty) {
    Gtk::init_gtkmm_internals();
    Gtk::Window parent;
    std::vector<std::string> exported;
    ui::ExportPasswordSheet sheet(parent, [&](std::string password) { exported.push_back(password); });
    struct Case {
        const char* password;
        const char* confirmation;
        bool enabled;
        bool mismatchShown;
    };
    const Case cases[] = {
        {"", "", false, false},           {"", "секрет", false, false},      {"секрет", "", false, true},
        {"секрет", "секре", false, true}, {"секрет", "секрет", true, false},
    };
    for (const auto& c : cases) {
        sheet.passwordEntry().set_text(c.password);
        sheet.confirmationEntry().set_text(c.confirmation);
        EXPECT_EQ(sheet.exportButton().get_sensitive(), c.enabled) << c.password << " / " << c.confirmation;
        EXPECT_EQ(sheet.mismatchLabel().get_visible(), c.mismatchShown)
            << c.password << " / " << c.confirmation;
    }
    sheet.passwordEntry().set_text("секрет");
    sheet.confirmationEntry().set_text("другой");
    g_signal_emit_by_name(sheet.exportButton().gobj(), "clicked");
    EXPECT_TRUE(exported.empty());
    sheet.confirmationEntry().set_text("секрет");
    g_signal_emit_by_name(sheet.exportButton().gobj(), "clicked");
    EXPECT_EQ(exported, std::vector<std::string>{"секрет"});
}
