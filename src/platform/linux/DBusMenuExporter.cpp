#include "platform/linux/DBusMenuExporter.h"

#include "core/base/Log.h"

#include <algorithm>

namespace orvi::platform {

namespace {

constexpr int kRootId = 0;

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="com.canonical.dbusmenu">
    <property name="Version" type="u" access="read"/>
    <property name="TextDirection" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconThemePath" type="as" access="read"/>
    <method name="GetLayout">
      <arg type="i" name="parentId" direction="in"/>
      <arg type="i" name="recursionDepth" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="u" name="revision" direction="out"/>
      <arg type="(ia{sv}av)" name="layout" direction="out"/>
    </method>
    <method name="GetGroupProperties">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="a(ia{sv})" name="properties" direction="out"/>
    </method>
    <method name="GetProperty">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="name" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <method name="Event">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="eventId" direction="in"/>
      <arg type="v" name="data" direction="in"/>
      <arg type="u" name="timestamp" direction="in"/>
    </method>
    <method name="EventGroup">
      <arg type="a(isvu)" name="events" direction="in"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <method name="AboutToShow">
      <arg type="i" name="id" direction="in"/>
      <arg type="b" name="needUpdate" direction="out"/>
    </method>
    <method name="AboutToShowGroup">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="ai" name="updatesNeeded" direction="out"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <signal name="ItemsPropertiesUpdated">
      <arg type="a(ia{sv})" name="updatedProps"/>
      <arg type="a(ias)" name="removedProps"/>
    </signal>
    <signal name="LayoutUpdated">
      <arg type="u" name="revision"/>
      <arg type="i" name="parent"/>
    </signal>
    <signal name="ItemActivationRequested">
      <arg type="i" name="id"/>
      <arg type="u" name="timestamp"/>
    </signal>
  </interface>
</node>)xml";

// An underscore in a dbusmenu label marks the access key; a profile name must show its own.
std::string escapeLabel(const std::string& label) {
    std::string escaped;
    for (char c : label) {
        escaped += c;
        if (c == '_')
            escaped += '_';
    }
    return escaped;
}

bool wanted(GVariant* names, const char* name) {
    if (!names || g_variant_n_children(names) == 0)
        return true;
    for (gsize i = 0; i < g_variant_n_children(names); ++i) {
        const char* candidate = nullptr;
        g_variant_get_child(names, i, "&s", &candidate);
        if (g_strcmp0(candidate, name) == 0)
            return true;
    }
    return false;
}

void add(GVariantBuilder& builder, GVariant* names, const char* name, GVariant* value) {
    if (wanted(names, name))
        g_variant_builder_add(&builder, "{sv}", name, value);
    else
        g_variant_unref(g_variant_ref_sink(value));
}

void returnError(GDBusMethodInvocation* invocation, const std::string& message) {
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.InvalidArgs",
                                               message.c_str());
}

} // namespace

DBusMenuExporter::DBusMenuExporter(GDBusConnection* connection, std::string objectPath)
    : m_object(connection, std::move(objectPath), kIntrospection, &DBusMenuExporter::onMethodCall,
               &DBusMenuExporter::onGetProperty, this, "❌ Tray menu not exported: ") {}

DBusMenuExporter::~DBusMenuExporter() = default;

const StatusMenuItem* DBusMenuExporter::find(int id) const {
    auto it = std::find_if(m_items.begin(), m_items.end(), [id](const auto& item) { return item.id == id; });
    return it == m_items.end() ? nullptr : &*it;
}

GVariant* DBusMenuExporter::itemProperties(const StatusMenuItem& item, GVariant* names) const {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    if (item.kind == StatusMenuItem::Kind::Separator) {
        add(builder, names, "type", g_variant_new_string("separator"));
        return g_variant_builder_end(&builder);
    }
    add(builder, names, "label", g_variant_new_string(escapeLabel(item.label).c_str()));
    add(builder, names, "enabled", g_variant_new_boolean(item.enabled));
    add(builder, names, "visible", g_variant_new_boolean(true));
    if (item.toggle == StatusMenuItem::Toggle::Radio) {
        add(builder, names, "toggle-type", g_variant_new_string("radio"));
        add(builder, names, "toggle-state", g_variant_new_int32(item.checked ? 1 : 0));
    }
    if (!item.shortcutKey.empty()) {
        const char* keys[] = {"Control", item.shortcutKey.c_str(), nullptr};
        GVariantBuilder shortcut;
        g_variant_builder_init(&shortcut, G_VARIANT_TYPE("aas"));
        g_variant_builder_add_value(&shortcut, g_variant_new_strv(keys, -1));
        add(builder, names, "shortcut", g_variant_builder_end(&shortcut));
    }
    return g_variant_builder_end(&builder);
}

GVariant* DBusMenuExporter::rootProperties(GVariant* names) const {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    add(builder, names, "children-display", g_variant_new_string("submenu"));
    return g_variant_builder_end(&builder);
}

GVariant* DBusMenuExporter::layout(int parentId, GVariant* names) const {
    GVariantBuilder children;
    g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
    if (parentId == kRootId) {
        for (const auto& item : m_items) {
            GVariantBuilder none;
            g_variant_builder_init(&none, G_VARIANT_TYPE("av"));
            GVariant* child = g_variant_new("(i@a{sv}@av)", item.id, itemProperties(item, names),
                                            g_variant_builder_end(&none));
            g_variant_builder_add(&children, "v", child);
        }
        return g_variant_new("(i@a{sv}@av)", kRootId, rootProperties(names),
                             g_variant_builder_end(&children));
    }
    return g_variant_new("(i@a{sv}@av)", parentId, itemProperties(*find(parentId), names),
                         g_variant_builder_end(&children));
}

void DBusMenuExporter::setItems(const std::vector<StatusMenuItem>& items) {
    if (items == m_items)
        return;
    GVariantBuilder updated;
    g_variant_builder_init(&updated, G_VARIANT_TYPE("a(ia{sv})"));
    bool anyUpdated = false;
    for (const auto& item : items) {
        const auto* old = find(item.id);
        if (old && !(*old == item)) {
            g_variant_builder_add(&updated, "(i@a{sv})", item.id, itemProperties(item, nullptr));
            anyUpdated = true;
        }
    }
    GVariant* updatedValue = g_variant_ref_sink(g_variant_builder_end(&updated));
    m_items = items;
    ++m_revision;
    if (m_object.isExported()) {
        if (anyUpdated) {
            GVariantBuilder removed;
            g_variant_builder_init(&removed, G_VARIANT_TYPE("a(ias)"));
            m_object.emitSignal("ItemsPropertiesUpdated", g_variant_new("(@a(ia{sv})@a(ias))", updatedValue,
                                                                        g_variant_builder_end(&removed)));
        }
        m_object.emitSignal("LayoutUpdated", g_variant_new("(ui)", m_revision, kRootId));
    }
    g_variant_unref(updatedValue);
}

void DBusMenuExporter::handleEvent(int id, const char* eventId) {
    const auto* item = find(id);
    if (!item || g_strcmp0(eventId, "clicked") != 0)
        return;
    if (item->kind == StatusMenuItem::Kind::Standard && item->enabled)
        m_clicked.emit(id);
}

void DBusMenuExporter::onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar* method, GVariant* parameters,
                                    GDBusMethodInvocation* invocation, gpointer self) {
    auto* menu = static_cast<DBusMenuExporter*>(self);
    const std::string name = method;
    if (name == "GetLayout") {
        gint32 parentId = 0;
        gint32 depth = 0;
        GVariant* names = nullptr;
        g_variant_get(parameters, "(ii@as)", &parentId, &depth, &names);
        if (parentId != kRootId && !menu->find(parentId)) {
            g_variant_unref(names);
            returnError(invocation, "Unknown menu item " + std::to_string(parentId));
            return;
        }
        g_dbus_method_invocation_return_value(
            invocation, g_variant_new("(u@(ia{sv}av))", menu->m_revision, menu->layout(parentId, names)));
        g_variant_unref(names);
    } else if (name == "GetGroupProperties") {
        GVariant* ids = nullptr;
        GVariant* names = nullptr;
        g_variant_get(parameters, "(@ai@as)", &ids, &names);
        GVariantBuilder result;
        g_variant_builder_init(&result, G_VARIANT_TYPE("a(ia{sv})"));
        gsize count = 0;
        const auto* values =
            static_cast<const gint32*>(g_variant_get_fixed_array(ids, &count, sizeof(gint32)));
        // An empty list asks for every item.
        std::vector<int> wantedIds(values, values + count);
        if (wantedIds.empty()) {
            wantedIds.push_back(kRootId);
            for (const auto& item : menu->m_items)
                wantedIds.push_back(item.id);
        }
        for (int id : wantedIds) {
            if (id == kRootId)
                g_variant_builder_add(&result, "(i@a{sv})", id, menu->rootProperties(names));
            else if (const auto* item = menu->find(id))
                g_variant_builder_add(&result, "(i@a{sv})", id, menu->itemProperties(*item, names));
        }
        g_variant_unref(ids);
        g_variant_unref(names);
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(@a(ia{sv}))", g_variant_builder_end(&result)));
    } else if (name == "GetProperty") {
        gint32 id = 0;
        const char* property = nullptr;
        g_variant_get(parameters, "(i&s)", &id, &property);
        const auto* item = menu->find(id);
        if (id != kRootId && !item) {
            returnError(invocation, "Unknown menu item " + std::to_string(id));
            return;
        }
        GVariant* all =
            g_variant_ref_sink(item ? menu->itemProperties(*item, nullptr) : menu->rootProperties(nullptr));
        GVariant* value = g_variant_lookup_value(all, property, nullptr);
        g_variant_unref(all);
        if (!value) {
            returnError(invocation, std::string("Menu item has no property ") + property);
            return;
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
        g_variant_unref(value);
    } else if (name == "Event") {
        gint32 id = 0;
        const char* eventId = nullptr;
        g_variant_get(parameters, "(i&svu)", &id, &eventId, nullptr, nullptr);
        if (id != kRootId && !menu->find(id)) {
            returnError(invocation, "Unknown menu item " + std::to_string(id));
            return;
        }
        // Answer first: the click may quit the application or rebuild the menu.
        const std::string event = eventId;
        g_dbus_method_invocation_return_value(invocation, nullptr);
        menu->handleEvent(id, event.c_str());
    } else if (name == "EventGroup") {
        GVariantIter* events = nullptr;
        g_variant_get(parameters, "(a(isvu))", &events);
        GVariantBuilder errors;
        g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
        std::vector<std::pair<int, std::string>> accepted;
        gint32 id = 0;
        const char* eventId = nullptr;
        GVariant* data = nullptr;
        guint32 timestamp = 0;
        while (g_variant_iter_loop(events, "(i&svu)", &id, &eventId, &data, &timestamp)) {
            if (id != kRootId && !menu->find(id))
                g_variant_builder_add(&errors, "i", id);
            else
                accepted.emplace_back(id, eventId);
        }
        g_variant_iter_free(events);
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(@ai)", g_variant_builder_end(&errors)));
        for (const auto& [eventItem, event] : accepted)
            menu->handleEvent(eventItem, event.c_str());
    } else if (name == "AboutToShow") {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
    } else if (name == "AboutToShowGroup") {
        GVariantBuilder none;
        g_variant_builder_init(&none, G_VARIANT_TYPE("ai"));
        GVariantBuilder errors;
        g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
        g_dbus_method_invocation_return_value(
            invocation,
            g_variant_new("(@ai@ai)", g_variant_builder_end(&none), g_variant_builder_end(&errors)));
    } else {
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod",
                                                   "Unknown method");
    }
}

GVariant* DBusMenuExporter::onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                          const gchar* property, GError** error, gpointer) {
    const std::string name = property;
    if (name == "Version")
        return g_variant_new_uint32(3);
    if (name == "TextDirection")
        return g_variant_new_string("ltr");
    if (name == "Status")
        return g_variant_new_string("normal");
    if (name == "IconThemePath")
        return g_variant_new_strv(nullptr, 0);
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "Unknown property %s", property);
    return nullptr;
}

} // namespace orvi::platform
