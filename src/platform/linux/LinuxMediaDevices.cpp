#include "platform/linux/LinuxMediaDevices.h"

#include "core/base/Log.h"

#include <cstdlib>
#include <filesystem>
#include <gio/gio.h>
#include <memory>
#include <string>
#include <utility>

namespace orvi::platform {

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kCameraInterface = "org.freedesktop.portal.Camera";

bool anyEntry(const std::filesystem::path& folder, std::string_view prefix, std::string_view suffix = {}) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const auto name = it->path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(suffix))
            return true;
    }
    return false;
}

struct PortalCall {
    std::function<void(bool)> completion;
    GDBusConnection* bus = nullptr;
    guint subscription = 0;

    void finish(bool granted) {
        if (subscription)
            g_dbus_connection_signal_unsubscribe(bus, subscription);
        subscription = 0;
        if (auto done = std::exchange(completion, nullptr))
            done(granted);
    }
    ~PortalCall() {
        finish(false);
        if (bus)
            g_object_unref(bus);
    }
};

} // namespace

bool LinuxMediaDevices::deviceExists(MediaKind kind) {
    if (kind == MediaKind::camera)
        return anyEntry("/dev", "video");
    // A capture device of the sound card, or a sound server that routes one.
    if (anyEntry("/dev/snd", "pcmC", "c"))
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime)
        return false;
    std::error_code error;
    const std::filesystem::path dir(runtime);
    return std::filesystem::exists(dir / "pulse" / "native", error) ||
           std::filesystem::exists(dir / "pipewire-0", error);
}

bool LinuxMediaDevices::cameraPortalPresent() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return false;
    GVariant* reply =
        g_dbus_connection_call_sync(bus, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
                                    g_variant_new("(ss)", kCameraInterface, "IsCameraPresent"),
                                    G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
    g_object_unref(bus);
    if (!reply)
        return false;
    g_variant_unref(reply);
    return true;
}

int LinuxMediaDevices::authorizationStatus(MediaKind kind) {
    if (kind == MediaKind::camera && cameraPortalPresent())
        return m_portalAnswer;
    return deviceExists(kind) ? kAuthorized : kDenied;
}

std::string LinuxMediaDevices::statusDescription(int status) {
    switch (status) {
    case kNotDetermined:
        return "not determined";
    case kRestricted:
        return "restricted";
    case kDenied:
        return "denied";
    case kAuthorized:
        return "authorized";
    }
    return "unknown";
}

void LinuxMediaDevices::requestAccess(MediaKind kind, std::function<void(bool granted)> completion) {
    if (kind != MediaKind::camera || !cameraPortalPresent()) {
        completion(deviceExists(kind));
        return;
    }
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) {
        completion(false);
        return;
    }
    // The portal answers on a request object whose path it derives from our bus name and a
    // token of ours; listening before calling means the answer cannot be missed.
    std::string sender = g_dbus_connection_get_unique_name(bus) + 1;
    for (auto& c : sender)
        if (c == '.')
            c = '_';
    static unsigned counter = 0;
    const std::string token = "orvi_camera_" + std::to_string(++counter);
    const std::string requestPath = std::string(kPortalPath) + "/request/" + sender + "/" + token;
    auto* call = new std::shared_ptr<PortalCall>(std::make_shared<PortalCall>());
    (*call)->bus = bus;
    (*call)->completion = [this, completion = std::move(completion)](bool granted) {
        m_portalAnswer = granted ? kAuthorized : kDenied;
        completion(granted);
    };
    (*call)->subscription = g_dbus_connection_signal_subscribe(
        bus, kPortalName, "org.freedesktop.portal.Request", "Response", requestPath.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NO_MATCH_RULE,
        +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
            gpointer data) {
            guint32 response = 2;
            g_variant_get_child(parameters, 0, "u", &response);
            (*static_cast<std::shared_ptr<PortalCall>*>(data))->finish(response == 0);
        },
        new std::shared_ptr<PortalCall>(*call),
        +[](gpointer data) { delete static_cast<std::shared_ptr<PortalCall>*>(data); });
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_dbus_connection_call(
        bus, kPortalName, kPortalPath, kCameraInterface, "AccessCamera", g_variant_new("(a{sv})", &options),
        nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            auto* call = static_cast<std::shared_ptr<PortalCall>*>(data);
            GError* error = nullptr;
            if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error)) {
                g_variant_unref(reply);
            } else {
                logLine(std::string("⚠️ Camera portal request failed: ") + (error ? error->message : ""));
                g_clear_error(&error);
                (*call)->finish(false);
            }
            delete call;
        },
        call);
}

} // namespace orvi::platform
