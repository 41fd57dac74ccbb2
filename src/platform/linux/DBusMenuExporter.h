#pragma once

#include "core/base/Signal.h"
#include "platform/StatusItem.h"
#include "platform/linux/DBusObjectExport.h"

#include <gio/gio.h>
#include <string>
#include <vector>

namespace orvi::platform {

// A flat menu exported as com.canonical.dbusmenu, the menu protocol StatusNotifierItem hosts
// read: the host fetches the layout, draws the menu itself and sends "clicked" events back.
class DBusMenuExporter {
public:
    DBusMenuExporter(GDBusConnection* connection, std::string objectPath);
    ~DBusMenuExporter();
    DBusMenuExporter(const DBusMenuExporter&) = delete;
    DBusMenuExporter& operator=(const DBusMenuExporter&) = delete;

    bool isExported() const { return m_object.isExported(); }
    const std::string& objectPath() const { return m_object.path(); }

    // Replaces the entries; hosts hear LayoutUpdated, and ItemsPropertiesUpdated for entries
    // that kept their id but changed.
    void setItems(const std::vector<StatusMenuItem>& items);
    Signal<int>& clicked() { return m_clicked; }

private:
    const StatusMenuItem* find(int id) const;
    GVariant* itemProperties(const StatusMenuItem& item, GVariant* names) const;
    GVariant* rootProperties(GVariant* names) const;
    GVariant* layout(int parentId, GVariant* names) const;
    void handleEvent(int id, const char* eventId);
    static void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                             GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar* property, GError** error, gpointer self);

    DBusObjectExport m_object;
    guint m_revision = 1;
    std::vector<StatusMenuItem> m_items;
    Signal<int> m_clicked;
};

} // namespace orvi::platform
