#pragma once

#include <gtkmm.h>
#include <memory>
#include <string>

namespace orvi::ui {

// Makes `sheet` a modal window over `parent` with `header` as its title bar, closing on
// Escape like the desktop's dialogs do.
void makeSheet(Gtk::Window& sheet, Gtk::Window& parent, const std::string& title, Gtk::HeaderBar& header);

} // namespace orvi::ui

namespace orvi::ui {

// Shows `window` and keeps it in `slot` until it is hidden; then it is destroyed on the next
// main-loop turn, after whatever handler hid it has returned.
template <class W> W& presentOwned(std::unique_ptr<W>& slot, std::unique_ptr<W> window) {
    slot = std::move(window);
    W* shown = slot.get();
    shown->signal_hide().connect([&slot, shown] {
        Glib::signal_idle().connect_once([&slot, shown] {
            if (slot.get() == shown)
                slot.reset();
        });
    });
    shown->present();
    return *shown;
}

} // namespace orvi::ui
