#include "ui/MainWindow.h"

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
    m_overlay.set_child(m_contentArea);
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

WindowSize MainWindow::currentSize() const {
    int width = 0;
    int height = 0;
    get_default_size(width, height);
    return {static_cast<double>(width), static_cast<double>(height)};
}

void MainWindow::requestSize(WindowSize size) {
    set_default_size(toPixels(size.width), toPixels(size.height));
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
