#include "platform/linux/GtkFileSaving.h"

#include "core/base/Log.h"

#include <memory>
#include <utility>

namespace orvi::platform {

GtkFileSaving::GtkFileSaving(std::function<Gtk::Window*()> parent) : m_parent(std::move(parent)) {}

void GtkFileSaving::chooseSaveDestination(
    const std::string& suggestedName, const std::filesystem::path& startFolder,
    std::function<void(std::optional<std::filesystem::path>)> completion) {
    auto dialog = Gtk::FileChooserNative::create("Сохранить файл", Gtk::FileChooser::Action::SAVE,
                                                 "Сохранить", "Отмена");
    if (auto* parent = m_parent ? m_parent() : nullptr)
        dialog->set_transient_for(*parent);
    dialog->set_modal(true);
    dialog->set_create_folders(true);
    std::error_code error;
    if (!startFolder.empty() && std::filesystem::is_directory(startFolder, error))
        dialog->set_current_folder(Gio::File::create_for_path(startFolder.string()));
    dialog->set_current_name(suggestedName);
    // The dialog keeps itself alive through its own handler until it answers, then lets go
    // once its signal has returned; the completion runs once.
    auto holder = std::make_shared<Glib::RefPtr<Gtk::FileChooserNative>>(dialog);
    auto shared =
        std::make_shared<std::function<void(std::optional<std::filesystem::path>)>>(std::move(completion));
    dialog->signal_response().connect([holder, shared](int response) {
        auto dialog = *holder;
        if (!dialog)
            return;
        std::optional<std::filesystem::path> chosen;
        if (response == static_cast<int>(Gtk::ResponseType::ACCEPT))
            if (auto file = dialog->get_file(); file && !file->get_path().empty())
                chosen = file->get_path();
        dialog->hide();
        Glib::signal_idle().connect_once([keep = std::exchange(*holder, {})] {});
        if (auto done = std::exchange(*shared, nullptr))
            done(chosen);
    });
    dialog->show();
}

void GtkFileSaving::reveal(const std::filesystem::path& file) {
    const auto uri = Glib::filename_to_uri(file.string());
    const auto folderUri = Glib::filename_to_uri(file.parent_path().string());
    GVariantBuilder uris;
    g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
    g_variant_builder_add(&uris, "s", uri.c_str());
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) {
        g_variant_builder_clear(&uris);
        g_app_info_launch_default_for_uri(folderUri.c_str(), nullptr, nullptr);
        return;
    }
    auto* folder = g_strdup(folderUri.c_str());
    g_dbus_connection_call(
        bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1",
        "ShowItems", g_variant_new("(ass)", &uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            auto* folder = static_cast<char*>(data);
            GError* error = nullptr;
            if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error)) {
                g_variant_unref(reply);
            } else {
                logLine(std::string("ℹ️ No file manager to show the file, opening its folder: ") +
                        (error ? error->message : ""));
                g_clear_error(&error);
                g_app_info_launch_default_for_uri(folder, nullptr, nullptr);
            }
            g_free(folder);
        },
        folder);
    g_object_unref(bus);
}

} // namespace orvi::platform
