#pragma once

#include "platform/StatusItem.h"
#include "platform/linux/AppIcon.h"
#include "platform/linux/DBusMenuExporter.h"
#include "platform/linux/DBusObjectExport.h"

#include <gio/gio.h>
#include <memory>
#include <string>
#include <vector>

namespace orvi::platform {

// The tray item as a StatusNotifierItem: its own bus name, the item at /StatusNotifierItem
// and its menu at /MenuBar. It registers with org.kde.StatusNotifierWatcher whenever a
// watcher is on the bus, so a panel started (or restarted) after us still shows the item.
class StatusNotifierItem final : public StatusItem {
public:
    struct Appearance {
        std::string id;       // e.g. the application id
        std::string title;    // e.g. "OrviWrapper"
        std::string iconName; // looked up in the icon theme
        std::vector<IconPixmap> pixmaps;
    };

    StatusNotifierItem(GDBusConnection* connection, Appearance appearance);
    ~StatusNotifierItem() override;
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    void setToolTip(const std::string& text) override;
    void setMenu(const std::vector<StatusMenuItem>& items) override;
    Signal<>& activated() override { return m_activated; }
    Signal<int>& menuItemClicked() override { return m_menu->clicked(); }

    const std::string& busName() const { return m_busName; }
    bool isRegisteredWithWatcher() const { return m_registered; }

private:
    GVariant* property(const std::string& name) const;
    GVariant* pixmapsValue() const;
    void emitSignal(const char* name, GVariant* parameters = nullptr);
    void registerWithWatcher();
    void registrationFailed(const std::string& message);
    static void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                             GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar* property, GError** error, gpointer self);

    Appearance m_appearance;
    std::string m_busName;
    std::string m_toolTip;
    std::unique_ptr<DBusMenuExporter> m_menu;
    GCancellable* m_cancellable;
    DBusObjectExport m_object;
    guint m_nameOwner = 0;
    guint m_watcherWatch = 0;
    guint m_retrySource = 0;
    int m_failedAttempts = 0;
    bool m_ownsName = false;
    bool m_watcherPresent = false;
    bool m_registered = false;
    Signal<> m_activated;
};

} // namespace orvi::platform
