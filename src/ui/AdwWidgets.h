#pragma once

#include <adwaita.h>
#include <functional>
#include <gtkmm.h>
#include <string>
#include <utility>

// Small helpers over libadwaita's C API. Widgets made here start floating and belong to the
// container they are added to, like every GTK widget; the helpers only make that ownership
// and the signal handlers' lifetime hard to get wrong.
namespace orvi::ui::adw {

// Connects a handler whose captured state lives exactly as long as the connection: GLib
// destroys it when the instance goes away or the handler is disconnected.
template <class... Args>
gulong connect(gpointer instance, const char* signal, std::function<void(Args...)> handler) {
    using Handler = std::function<void(Args...)>;
    auto* stored = new Handler(std::move(handler));
    return g_signal_connect_data(
        instance, signal,
        G_CALLBACK(+[](gpointer, Args... args, gpointer data) { (*static_cast<Handler*>(data))(args...); }),
        stored, +[](gpointer data, GClosure*) { delete static_cast<Handler*>(data); }, GConnectFlags(0));
}

// A themed icon, owned by the container it is added to. (Gtk::Image's text constructor
// takes a file name, not an icon name.)
inline Gtk::Image* icon(const std::string& name) {
    auto* image = Gtk::make_managed<Gtk::Image>();
    image->set_from_icon_name(name);
    return image;
}

inline GtkWidget* group(const std::string& title) {
    auto* widget = adw_preferences_group_new();
    adw_preferences_group_set_title(ADW_PREFERENCES_GROUP(widget), title.c_str());
    return widget;
}

inline void add(GtkWidget* group, GtkWidget* row) {
    adw_preferences_group_add(ADW_PREFERENCES_GROUP(group), row);
}

// Row titles and subtitles are shown as plain text: profile names may hold markup characters.
inline GtkWidget* actionRow(const std::string& title, const std::string& subtitle = {}) {
    auto* row = adw_action_row_new();
    adw_preferences_row_set_use_markup(ADW_PREFERENCES_ROW(row), FALSE);
    adw_preferences_row_set_title(ADW_PREFERENCES_ROW(row), title.c_str());
    if (!subtitle.empty())
        adw_action_row_set_subtitle(ADW_ACTION_ROW(row), subtitle.c_str());
    return row;
}

inline void addSuffix(GtkWidget* row, Gtk::Widget& widget) {
    adw_action_row_add_suffix(ADW_ACTION_ROW(row), widget.gobj());
}

inline void addPrefix(GtkWidget* row, Gtk::Widget& widget) {
    adw_action_row_add_prefix(ADW_ACTION_ROW(row), widget.gobj());
}

// A row with a switch at its end; activating the row flips the switch.
inline GtkWidget* switchRow(const std::string& title, Gtk::Switch& toggle) {
    auto* row = actionRow(title);
    toggle.set_valign(Gtk::Align::CENTER);
    addSuffix(row, toggle);
    adw_action_row_set_activatable_widget(ADW_ACTION_ROW(row), GTK_WIDGET(toggle.gobj()));
    return row;
}

inline GtkWidget* entryRow(const std::string& title) {
    auto* row = adw_entry_row_new();
    adw_preferences_row_set_use_markup(ADW_PREFERENCES_ROW(row), FALSE);
    adw_preferences_row_set_title(ADW_PREFERENCES_ROW(row), title.c_str());
    return row;
}

inline std::string entryText(GtkWidget* row) {
    return gtk_editable_get_text(GTK_EDITABLE(row));
}

inline void setEntryText(GtkWidget* row, const std::string& text) {
    gtk_editable_set_text(GTK_EDITABLE(row), text.c_str());
}

// Puts a libadwaita widget into a gtkmm box, which then owns it.
inline void append(Gtk::Box& box, GtkWidget* widget) {
    gtk_box_append(box.gobj(), widget);
}

} // namespace orvi::ui::adw
