#include "ui/Styles.h"

#include <adwaita.h>
#include <gtkmm.h>

namespace orvi::ui {

namespace {

constexpr const char* kCss = R"css(
.unread-badge {
  background-color: #e01b24;
  color: white;
  border-radius: 999px;
  padding: 1px 6px;
  font-size: 0.8em;
  font-weight: bold;
  min-width: 10px;
}
.unread-badge.stale {
  background-color: alpha(#808080, 0.6);
}
.drag-handle-bar {
  background-color: alpha(#808080, 0.5);
  border-radius: 2px;
  min-width: 60px;
  min-height: 4px;
}
.notice {
  border-radius: 12px;
  padding: 10px 12px;
}
.notice.warning {
  background-color: alpha(@warning_color, 0.15);
}
.notice.info {
  background-color: alpha(@accent_color, 0.12);
}
.calls-off {
  color: @warning_color;
}
popover.flat-popover > contents {
  box-shadow: none;
  border-radius: 0;
  border: 1px solid alpha(black, 0.15);
}
.form-caption {
  font-size: 0.9em;
  margin: 6px 12px 0 12px;
}
)css";

} // namespace

void installStyles() {
    adw_init();
    auto provider = Gtk::CssProvider::create();
    provider->load_from_data(kCss);
    Gtk::StyleContext::add_provider_for_display(Gdk::Display::get_default(), provider,
                                                GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void fitPopoverToDisplay(Gtk::Widget& popover) {
    auto* widget = popover.gobj();
    if (!GTK_IS_POPOVER(widget) || gdk_display_is_composited(gtk_widget_get_display(widget)))
        return;
    gtk_popover_set_has_arrow(GTK_POPOVER(widget), FALSE);
    gtk_widget_add_css_class(widget, "flat-popover");
}

} // namespace orvi::ui
