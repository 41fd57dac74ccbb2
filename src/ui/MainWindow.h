#pragma once

#include "core/shell/WindowSizeManager.h"

#include <gtkmm.h>
#include <memory>
#include <optional>

namespace orvi {
class MainWebViewModel;
class ProfilesViewModel;
} // namespace orvi

namespace orvi::ui {

class ProfileMenu;

// The one main window: a header bar carrying the toolbar items and the primary menu, and a
// content area that shows an empty state until the page host is put in it.
class MainWindow final : public Gtk::ApplicationWindow {
public:
    explicit MainWindow(WindowSize initialSize);
    ~MainWindow() override;

    // Shows `content` in place of whatever the content area held. The window keeps a
    // reference; the caller keeps ownership of the C++ object.
    void setContent(Gtk::Widget& content);

    // Keeps one line above the content for the rest of the run (a condition the user
    // should know about, such as preferences that will not be kept).
    void showNotice(const Glib::ustring& text);

    Gtk::HeaderBar& headerBar() { return m_headerBar; }
    // Shows `widget` floating over the content (toasts, status bars); it places itself by
    // its own alignment. The caller keeps ownership.
    void addOverlay(Gtk::Widget& widget) { m_overlay.add_overlay(widget); }
    // Puts the toolbar's items in the header bar, in order: chat export, the profile menu,
    // "Навигация" and "Настройки". The buttons work through the application's actions
    // ("app.export-chat", "app.navigate", "app.settings"); a button whose action is not
    // registered stays insensitive.
    void installToolbar(ProfilesViewModel& profiles, std::shared_ptr<MainWebViewModel> mainModel);
    Gtk::Button& exportButton() { return m_exportButton; }
    // Pops up one of the header bar's menus: "profile", "navigation" or "primary".
    void popupMenu(const std::string& which);
    void popdownMenus();
    // Items added here appear in the header bar's primary menu; actions use the "app." or
    // "win." prefix.
    Glib::RefPtr<Gio::Menu> primaryMenu() { return m_primaryMenu; }

    // The size the window has now in points, from its default size, which GTK keeps equal
    // to the current size while the window is shown.
    WindowSize currentSize() const;
    // Asks for a new size; the window system decides and reports it through sizeChanged.
    void requestSize(WindowSize size);

    // Emitted once, when the window is first mapped.
    sigc::signal<void()>& signalFirstAppearance() { return m_firstAppearance; }
    sigc::signal<void()>& signalSizeChanged() { return m_sizeChanged; }
    // Emitted when the window is about to close, while its size can still be read.
    sigc::signal<void()>& signalWillClose() { return m_willClose; }

private:
    Gtk::HeaderBar m_headerBar;
    Gtk::MenuButton m_menuButton;
    Glib::RefPtr<Gio::Menu> m_primaryMenu;
    Gtk::Button m_exportButton;
    std::unique_ptr<ProfileMenu> m_profileMenu;
    Gtk::MenuButton m_navigationButton;
    Gtk::Button m_settingsButton;
    Gtk::Overlay m_overlay;
    Gtk::WindowHandle m_dragArea;
    Gtk::Box m_dragBar;
    Gtk::Box m_contentArea{Gtk::Orientation::VERTICAL};
    Gtk::Label m_notice;
    Gtk::Box m_emptyState{Gtk::Orientation::VERTICAL, 12};
    Gtk::Label m_emptyTitle;
    Gtk::Label m_emptyText;
    Gtk::Widget* m_content = nullptr;
    bool m_hasAppeared = false;
    sigc::signal<void()> m_firstAppearance;
    sigc::signal<void()> m_sizeChanged;
    sigc::signal<void()> m_willClose;
};

// The keyboard shortcuts, over `parent`.
void showShortcutsWindow(Gtk::Window& parent);

// The desktop's standard about dialog for the application, over `parent`.
void showAboutDialog(Gtk::Window& parent);

} // namespace orvi::ui
