#pragma once

#include <gtkmm.h>

namespace orvi::ui {

// Loads libadwaita's look and the few classes of our own (unread badges, notices, the drag
// handle). Call once, after GTK has started and before the first window is built.
void installStyles();

// Without a compositor a popover's shadow and arrow are drawn as black corners; there the
// popover goes without both.
void fitPopoverToDisplay(Gtk::Widget& popover);

} // namespace orvi::ui
