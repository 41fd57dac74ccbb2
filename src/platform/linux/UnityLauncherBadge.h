#pragma once

#include "platform/LauncherBadge.h"
#include "platform/linux/DBusObjectExport.h"

#include <gio/gio.h>
#include <string>

namespace orvi::platform {

// The launcher badge as docks and panels read it (Plank, Dash to Dock, KDE's task manager):
// com.canonical.Unity.LauncherEntry "Update" signals for the application's .desktop file,
// and a "Query" method for a dock that starts after us.
class UnityLauncherBadge final : public LauncherBadge {
public:
    // desktopId is the .desktop file name, e.g. "com.orviwrapper.OrviWrapper.desktop".
    UnityLauncherBadge(GDBusConnection* connection, const std::string& desktopId);
    ~UnityLauncherBadge() override;
    UnityLauncherBadge(const UnityLauncherBadge&) = delete;
    UnityLauncherBadge& operator=(const UnityLauncherBadge&) = delete;

    void setCount(std::int64_t count) override;

    const std::string& appUri() const { return m_appUri; }
    const std::string& objectPath() const { return m_object.path(); }

private:
    GVariant* properties() const;
    static void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                             GVariant*, GDBusMethodInvocation* invocation, gpointer self);

    std::string m_appUri;
    DBusObjectExport m_object;
    std::int64_t m_count = 0;
};

} // namespace orvi::platform
