#include "ui/MainWindow.h"

#include "core/shell/SidebarNavigation.h"
#include "ui/ProfileMenu.h"

#include <algorithm>
#include <cmath>

namespace orvi::ui {
namespace {

// GTK sizes are ints; a stored size is finite but may still be absurd.
int toPixels(double points) {
    if (!std::isfinite(points))
        return 1;
    return static_cast<int>(std::clamp(std::round(points), 1.0, 32767.0));
}

} // namespace

MainWindow::MainWindow(WindowSize initialSize) : m_primaryMenu(Gio::Menu::create()) {
    set_title("OrviWrapper");
    set_default_size(toPixels(initialSize.width), toPixels(initialSize.height));

    auto section = Gio::Menu::create();
    section->append("Сочетания клавиш", "app.shortcuts");
    section->append("About OrviWrapper", "app.about");
    m_primaryMenu->append_section(section);
    m_menuButton.set_icon_name("open-menu-symbolic");
    m_menuButton.set_menu_model(m_primaryMenu);
    m_menuButton.set_tooltip_text("Меню");
    m_headerBar.pack_end(m_menuButton);
    set_titlebar(m_headerBar);

    m_emptyTitle.set_text("OrviWrapper");
    m_emptyTitle.add_css_class("title-1");
    m_emptyText.set_text("Веб-клиент ORVI появится здесь.");
    m_emptyText.set_wrap(true);
    m_emptyText.add_css_class("dim-label");
    m_emptyState.set_valign(Gtk::Align::CENTER);
    m_emptyState.set_vexpand(true);
    m_emptyState.append(m_emptyTitle);
    m_emptyState.append(m_emptyText);
    m_contentArea.append(m_emptyState);
    // A corner of the page that always moves the window, whatever the page puts under it.
    m_dragBar.add_css_class("drag-handle-bar");
    m_dragBar.set_halign(Gtk::Align::END);
    m_dragBar.set_valign(Gtk::Align::START);
    m_dragBar.set_margin_top(4);
    m_dragBar.set_margin_end(16);
    m_dragArea.set_child(m_dragBar);
    m_dragArea.set_size_request(80, 50);
    m_dragArea.set_halign(Gtk::Align::END);
    m_dragArea.set_valign(Gtk::Align::START);
    m_overlay.set_child(m_contentArea);
    m_overlay.add_overlay(m_dragArea);
    set_child(m_overlay);
    m_content = &m_emptyState;

    signal_map().connect([this] {
        if (m_hasAppeared)
            return;
        m_hasAppeared = true;
        m_firstAppearance.emit();
    });
    property_default_width().signal_changed().connect([this] { m_sizeChanged.emit(); });
    property_default_height().signal_changed().connect([this] { m_sizeChanged.emit(); });
    signal_close_request().connect(
        [this] {
            m_willClose.emit();
            return false;
        },
        false);
}

MainWindow::~MainWindow() = default;

void MainWindow::setContent(Gtk::Widget& content) {
    if (m_content == &content)
        return;
    if (m_content)
        m_contentArea.remove(*m_content);
    content.set_vexpand(true);
    content.set_hexpand(true);
    m_contentArea.append(content);
    m_content = &content;
}

void MainWindow::showNotice(const Glib::ustring& text) {
    m_notice.set_text(text);
    if (m_notice.get_parent())
        return;
    m_notice.set_wrap(true);
    m_notice.set_margin(6);
    m_notice.add_css_class("warning");
    m_contentArea.prepend(m_notice);
}

void MainWindow::installToolbar(ProfilesViewModel& profiles, std::shared_ptr<MainWebViewModel> mainModel) {
    m_exportButton.set_icon_name("document-send-symbolic");
    m_exportButton.set_action_name("app.export-chat");
    m_exportButton.set_tooltip_text("Экспорт переписки: сохранить открытый диалог в HTML или JSON");
    m_headerBar.pack_start(m_exportButton);

    m_profileMenu = std::make_unique<ProfileMenu>(profiles, std::move(mainModel));
    m_headerBar.set_title_widget(*m_profileMenu);

    auto navigation = Gio::Menu::create();
    for (const auto& item : SidebarNavigation::items()) {
        auto entry = Gio::MenuItem::create(item.label, "");
        entry->set_action_and_target("app.navigate", Glib::Variant<int>::create(item.index));
        entry->set_icon(Gio::ThemedIcon::create(item.iconName));
        navigation->append_item(entry);
    }
    m_navigationButton.set_icon_name("sidebar-show-symbolic");
    m_navigationButton.set_tooltip_text("Навигация");
    m_navigationButton.set_menu_model(navigation);

    m_settingsButton.set_icon_name("emblem-system-symbolic");
    m_settingsButton.set_action_name("app.settings");
    m_settingsButton.set_tooltip_text("Настройки");

    // pack_end places from the right edge inwards: menu, settings, navigation.
    m_headerBar.pack_end(m_settingsButton);
    m_headerBar.pack_end(m_navigationButton);
}

void MainWindow::popupMenu(const std::string& which) {
    if (which == "profile" && m_profileMenu)
        m_profileMenu->popup();
    else if (which == "navigation")
        m_navigationButton.popup();
    else if (which == "primary")
        m_menuButton.popup();
}

void MainWindow::popdownMenus() {
    if (m_profileMenu)
        m_profileMenu->popdown();
    m_navigationButton.popdown();
    m_menuButton.popdown();
}

WindowSize MainWindow::currentSize() const {
    int width = 0;
    int height = 0;
    get_default_size(width, height);
    return {static_cast<double>(width), static_cast<double>(height)};
}

void MainWindow::requestSize(WindowSize size) {
    set_default_size(toPixels(size.width), toPixels(size.height));
}

void showShortcutsWindow(Gtk::Window& parent) {
    static constexpr const char* kShortcuts = R"xml(<interface>
  <object class="GtkShortcutsWindow" id="shortcuts">
    <property name="modal">1</property>
    <child>
      <object class="GtkShortcutsSection">
        <property name="section-name">main</property>
        <child>
          <object class="GtkShortcutsGroup">
            <property name="title">Профили</property>
            <child>
              <object class="GtkShortcutsShortcut">
                <property name="title">Перейти к профилю 1…9</property>
                <property name="accelerator">&lt;Primary&gt;1 &lt;Primary&gt;9</property>
              </object>
            </child>
          </object>
        </child>
        <child>
          <object class="GtkShortcutsGroup">
            <property name="title">Окно</property>
            <child>
              <object class="GtkShortcutsShortcut">
                <property name="title">Настройки</property>
                <property name="accelerator">&lt;Primary&gt;comma</property>
              </object>
            </child>
            <child>
              <object class="GtkShortcutsShortcut">
                <property name="title">Обновить страницу</property>
                <property name="accelerator">&lt;Primary&gt;r</property>
              </object>
            </child>
            <child>
              <object class="GtkShortcutsShortcut">
                <property name="title">Закрыть окно формы</property>
                <property name="accelerator">Escape</property>
              </object>
            </child>
            <child>
              <object class="GtkShortcutsShortcut">
                <property name="title">Выйти</property>
                <property name="accelerator">&lt;Primary&gt;q</property>
              </object>
            </child>
          </object>
        </child>
      </object>
    </child>
  </object>
</interface>)xml";
    auto builder = Gtk::Builder::create_from_string(kShortcuts);
    auto* window = builder->get_widget<Gtk::ShortcutsWindow>("shortcuts");
    window->set_transient_for(parent);
    window->set_hide_on_close(true);
    window->signal_hide().connect(
        [window] { Glib::signal_idle().connect_once([window] { delete window; }); });
    window->present();
}

void showAboutDialog(Gtk::Window& parent) {
    auto* dialog = new Gtk::AboutDialog();
    dialog->set_transient_for(parent);
    dialog->set_modal(true);
    dialog->set_hide_on_close(true);
    dialog->set_program_name("OrviWrapper");
    dialog->set_version(ORVI_VERSION);
    dialog->signal_hide().connect(
        [dialog] { Glib::signal_idle().connect_once([dialog] { delete dialog; }); });
    dialog->present();
}

} // namespace orvi::ui
