#include "ui/ScreenActions.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/PreferencesStore.h"
#include "core/shell/MainWebViewModel.h"
#include "core/shell/SidebarNavigation.h"
#include "engine/WebView.h"
#include "ui/MainWindow.h"
#include "ui/SheetWindow.h"
#include "ui/VPNWarningAlert.h"

namespace orvi::ui {

ScreenActions::ScreenActions(Parts parts)
    : m_parts(std::move(parts)),
      m_vpnFlow(m_parts.vpnDetection,
                VPNWarningFlow::Hooks{
                    [this] { return m_parts.preferences.boolean(keys::kIgnoreVPNWarning); },
                    [this] { m_parts.preferences.setBoolean(keys::kIgnoreVPNWarning, true); },
                    [this] {
                        showVPNWarningAlert(m_parts.window, [this](VPNWarningFlow::Response response) {
                            m_vpnFlow.warningClosed(response);
                        });
                    },
                    [this](bool ignore, bool warnAgain) {
                        if (m_parts.retryLoadGate)
                            m_parts.retryLoadGate(ignore, warnAgain);
                    }}) {
    addAction("profiles", [this] { showProfiles(); });
    addAction("add-profile", [this] { showAddProfile(); });
    addAction("reload", [this] { reloadPage(); });
    addAction("quit", [this] { m_parts.application->quit(); });
    addAction("shortcuts", [this] { showShortcutsWindow(m_parts.window); });
    addIndexedAction("navigate", [this](int index) {
        for (const auto& item : SidebarNavigation::items()) {
            if (item.index == index)
                SidebarNavigation::switchTo(*m_parts.mainModel, item);
        }
    });
    addIndexedAction("switch-profile", [this](int position) { switchToProfile(position); });

    auto& app = *m_parts.application;
    for (int n = 1; n <= 9; ++n)
        app.set_accels_for_action("app.switch-profile(" + std::to_string(n) + ")",
                                  {"<Primary>" + std::to_string(n)});
    app.set_accels_for_action("app.settings", {"<Primary>comma"});
    app.set_accels_for_action("app.reload", {"<Primary>r"});
    app.set_accels_for_action("app.quit", {"<Primary>q"});

    m_webViewDropped = m_parts.profiles.webViewDropped.connect([this](const ProfileId& id) {
        if (m_parts.rebuildAfterDrop)
            m_parts.rebuildAfterDrop(id);
    });
    m_activeChanged = m_parts.window.property_is_active().signal_changed().connect(
        [this] { m_vpnFlow.windowActiveChanged(m_parts.window.is_active()); });
}

ScreenActions::~ScreenActions() {
    m_activeChanged.disconnect();
    for (const auto& action : m_actions)
        m_parts.application->remove_action(action->get_name());
}

void ScreenActions::addAction(const std::string& name, std::function<void()> handler) {
    auto action = Gio::SimpleAction::create(name);
    action->signal_activate().connect(
        [handler = std::move(handler)](const Glib::VariantBase&) { handler(); });
    m_parts.application->add_action(action);
    m_actions.push_back(action);
}

void ScreenActions::addIndexedAction(const std::string& name, std::function<void(int)> handler) {
    auto action = Gio::SimpleAction::create(name, Glib::VARIANT_TYPE_INT32);
    action->signal_activate().connect([handler = std::move(handler)](const Glib::VariantBase& parameter) {
        handler(Glib::VariantBase::cast_dynamic<Glib::Variant<int>>(parameter).get());
    });
    m_parts.application->add_action(action);
    m_actions.push_back(action);
}

ProfilesScreen& ScreenActions::showProfiles() {
    if (m_profilesScreen) {
        m_profilesScreen->present();
        return *m_profilesScreen;
    }
    return presentOwned(m_profilesScreen,
                        std::make_unique<ProfilesScreen>(m_parts.window, m_parts.profiles, m_parts.mainModel,
                                                         m_parts.browserImport));
}

ProfileForm& ScreenActions::showAddProfile() {
    if (m_addForm) {
        m_addForm->present();
        return *m_addForm;
    }
    return presentOwned(
        m_addForm, std::make_unique<ProfileForm>(m_parts.window, m_parts.profiles, m_parts.browserImport));
}

void ScreenActions::switchToProfile(int position) {
    const auto& profiles = m_parts.profiles.profiles();
    if (position < 1 || static_cast<std::size_t>(position) > profiles.size())
        return;
    m_parts.profiles.selectProfile(profiles[static_cast<std::size_t>(position) - 1].id);
}

void ScreenActions::reloadPage() {
    auto webView = m_parts.shownWebView ? m_parts.shownWebView() : nullptr;
    if (webView && !webView->url().empty())
        webView->reload();
    else if (m_parts.retryLoadGate)
        // A page held at the VPN gate has nothing to reload yet: it checks again instead.
        m_parts.retryLoadGate(m_parts.preferences.boolean(keys::kIgnoreVPNWarning), true);
}

} // namespace orvi::ui
