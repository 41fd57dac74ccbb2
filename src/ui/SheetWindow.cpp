#include "ui/SheetWindow.h"

namespace orvi::ui {

void makeSheet(Gtk::Window& sheet, Gtk::Window& parent, const std::string& title, Gtk::HeaderBar& header) {
    sheet.set_transient_for(parent);
    sheet.set_modal(true);
    sheet.set_title(title);
    // Hidden, not destroyed: the C++ owner of the sheet destroys it (see presentOwned).
    sheet.set_hide_on_close(true);
    int width = 0;
    int height = 0;
    parent.get_default_size(width, height);
    if (parent.get_transient_for())
        // A sheet over a sheet covers it exactly.
        sheet.set_default_size(width, height);
    else
        // Narrower and shorter than the main window, which stays visible around it.
        sheet.set_default_size(std::max(360, std::min(width, 480) - 20), std::max(420, height - 80));
    auto* heading = Gtk::make_managed<Gtk::Label>(title);
    heading->add_css_class("title");
    heading->set_ellipsize(Pango::EllipsizeMode::END);
    header.set_title_widget(*heading);
    header.set_show_title_buttons(false);
    sheet.set_titlebar(header);

    auto controller = Gtk::ShortcutController::create();
    controller->set_scope(Gtk::ShortcutScope::LOCAL);
    controller->add_shortcut(
        Gtk::Shortcut::create(Gtk::KeyvalTrigger::create(GDK_KEY_Escape),
                              Gtk::CallbackAction::create([&sheet](Gtk::Widget&, const Glib::VariantBase&) {
                                  sheet.close();
                                  return true;
                              })));
    sheet.add_controller(controller);
}

} // namespace orvi::ui
