#pragma once

#include "core/shell/VPNWarningFlow.h"
#include "ui/ProfileForm.h"
#include "ui/ProfilesScreen.h"

#include <functional>
#include <gtkmm.h>
#include <memory>

namespace orvi {
class MainWebViewModel;
class PreferencesStore;
class VPNDetectionServiceProtocol;
namespace engine {
class WebView;
}
} // namespace orvi

namespace orvi::ui {

class MainWindow;

// The application actions behind the main window's controls and keyboard shortcuts, and the
// sheets and alerts they open: "app.profiles", "app.add-profile", "app.navigate(i)",
// "app.switch-profile(n)", "app.reload", "app.quit" and "app.shortcuts". Scripts reach the
// same actions over D-Bus.
class ScreenActions final {
public:
    struct Parts {
        Glib::RefPtr<Gtk::Application> application;
        MainWindow& window;
        ProfilesViewModel& profiles;
        std::shared_ptr<MainWebViewModel> mainModel;
        PreferencesStore& preferences;
        VPNDetectionServiceProtocol& vpnDetection;
        ProfileForm::BrowserImport browserImport;
        // The page host's answers: a held load may pass the VPN gate again, a dropped web
        // view of the shown profile is rebuilt, and the page on screen.
        std::function<void(bool ignoreVPNWarning, bool warnAgain)> retryLoadGate;
        std::function<void(const ProfileId&)> rebuildAfterDrop;
        std::function<std::shared_ptr<engine::WebView>()> shownWebView;
    };

    explicit ScreenActions(Parts parts);
    ~ScreenActions();
    ScreenActions(const ScreenActions&) = delete;
    ScreenActions& operator=(const ScreenActions&) = delete;

    VPNWarningFlow& vpnWarningFlow() { return m_vpnFlow; }
    ProfilesScreen& showProfiles();
    ProfileForm& showAddProfile();

    // Test hook: "app.test-screen(s)" runs one command on the screens (fill or save the open
    // form, open a profile's edit form or delete confirmation, pop a menu up, show the VPN
    // alert, close everything), so scripts can walk every screen over D-Bus without typing.
    void enableTestCommands();
    void runTestCommand(const std::string& command);

    ProfilesScreen* profilesScreen() { return m_profilesScreen.get(); }
    ProfileForm* addProfileForm() { return m_addForm.get(); }

private:
    void addAction(const std::string& name, std::function<void()> handler);
    void addIndexedAction(const std::string& name, std::function<void(int)> handler);
    void switchToProfile(int position);
    void reloadPage();
    ProfileForm* openForm();

    Parts m_parts;
    VPNWarningFlow m_vpnFlow;
    std::vector<Glib::RefPtr<Gio::SimpleAction>> m_actions;
    std::unique_ptr<ProfilesScreen> m_profilesScreen;
    std::unique_ptr<ProfileForm> m_addForm;
    Connection m_webViewDropped;
    sigc::connection m_activeChanged;
};

} // namespace orvi::ui
