#pragma once

#include "core/base/Signal.h"
#include "core/profiles/ProfileStoreProtocol.h"
#include "core/shell/MainWebViewModel.h"
#include "core/shell/SettingsViewModel.h"
#include "ui/PasswordSheets.h"

#include <filesystem>
#include <gtkmm.h>
#include <memory>
#include <vector>

namespace orvi::ui {

// The settings sheet over the main window: the toggles, the default city and every session
// transfer, each ending in the one result line the settings model publishes.
class SettingsWindow final : public Gtk::Window {
public:
    struct Context {
        std::shared_ptr<SettingsViewModel> settings;
        std::shared_ptr<MainWebViewModel> mainModel;
        ProfileStoreProtocol& profiles;
        std::filesystem::path documentsDir;
        // The service's web host, where browser cookies are looked for.
        std::string serviceHost;
    };

    SettingsWindow(Gtk::Window& parent, Context context);
    ~SettingsWindow() override;

    // The steps after a file was chosen, reachable without a file chooser.
    void importPlainFile(const std::filesystem::path& path);
    void importEncryptedFile(const std::filesystem::path& path, const std::string& password);

    ExportPasswordSheet* exportPasswordSheet() { return m_exportSheet.get(); }
    void showExportPasswordSheet();
    const Gtk::Label& resultLabel() const { return m_result; }

private:
    Gtk::Box& addSection(const char* title);
    Gtk::Button& addDataButton(Gtk::Box& section, const char* label, const char* icon);
    void buildDoNotDisturbRow(Gtk::Box& section);
    void addSwitch(Gtk::Box& section, const char* label, Published<bool>& value,
                   void (SettingsViewModel::*set)(bool));
    void buildBackgroundSection();
    void buildLocationSection();
    void buildDataSection();
    void buildContainerSection();
    void buildClearSection();

    std::shared_ptr<engine::WebView> currentWebView() const;
    void exportPlain();
    void exportAllData();
    void chooseImportFile();
    void startEncryptedImport(const std::string& password);
    void offerSave(std::string bytes);
    void copyToClipboard(const std::string& text);
    void confirmClearData();
    void confirmBrowserImport();
    void exportContainer();
    void chooseContainer();
    void setContainerRunning(bool running);
    Glib::RefPtr<Gtk::FileChooserNative> makeChooser(const char* title, Gtk::FileChooser::Action action,
                                                     const char* accept);

    Context m_context;
    Gtk::HeaderBar m_header;
    Gtk::Button m_done{"Готово"};
    Gtk::ScrolledWindow m_scroll;
    Gtk::Box m_content{Gtk::Orientation::VERTICAL, 6};
    Gtk::DropDown* m_cityPicker = nullptr;
    Gtk::Label m_currentLocation;
    Gtk::Label m_result;
    Gtk::Button* m_browserImport = nullptr;
    Gtk::Spinner m_browserSpinner;
    Gtk::Label m_activeProfile;
    // An archive of several hundred megabytes takes seconds either way.
    Gtk::Button* m_containerExport = nullptr;
    Gtk::Button* m_containerImport = nullptr;
    Gtk::Spinner m_containerSpinner;
    // Imported engine data takes effect in a new process.
    Gtk::Button m_restart{"Перезапустить"};
    // Container work may finish after the window is gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::unique_ptr<ExportPasswordSheet> m_exportSheet;
    std::unique_ptr<ImportPasswordSheet> m_importSheet;
    Glib::RefPtr<Gtk::FileChooserNative> m_chooser;
    std::vector<Connection> m_connections;
    bool m_updatingPicker = false;
};

} // namespace orvi::ui
