#pragma once

namespace orvi::ui {

// Loads libadwaita's look and the few classes of our own (unread badges, notices, the drag
// handle). Call once, after GTK has started and before the first window is built.
void installStyles();

} // namespace orvi::ui
