#pragma once

#include "platform/linux/DBusObjectExport.h"

#include <gio/gio.h>
#include <memory>
#include <string>
#include <vector>

namespace orvi::test {

// An org.freedesktop.Notifications server on its own bus connection that records what it
// is asked to show and can send back the clicks a user would make.
class RecordingNotificationServer {
public:
    struct Notify {
        guint32 replacesId = 0;
        std::string summary;
        std::string body;
        std::vector<std::string> actions;
        guint32 id = 0; // what the server answered
    };

    RecordingNotificationServer();
    ~RecordingNotificationServer();
    RecordingNotificationServer(const RecordingNotificationServer&) = delete;
    RecordingNotificationServer& operator=(const RecordingNotificationServer&) = delete;

    // Waits until the name is owned.
    bool start();
    void invokeAction(guint32 id, const std::string& actionKey);

    const std::vector<Notify>& notifications() const { return m_notifications; }
    const std::vector<guint32>& closed() const { return m_closed; }

private:
    static void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                             GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);

    GDBusConnection* m_connection;
    std::unique_ptr<platform::DBusObjectExport> m_export;
    guint m_owner = 0;
    guint32 m_nextId = 1;
    std::vector<Notify> m_notifications;
    std::vector<guint32> m_closed;
};

} // namespace orvi::test
