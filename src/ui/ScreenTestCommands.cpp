#include "core/base/Log.h"
#include "ui/MainWindow.h"
#include "ui/ScreenActions.h"

#include <charconv>

// The test hook of ScreenActions, apart from the actions people use.
namespace orvi::ui {

namespace {

std::optional<std::size_t> position(std::string_view text) {
    std::size_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1)
        return std::nullopt;
    return value - 1;
}

// What the window shows in words, for a test that cannot look at it.
void logShownLabels(GtkWidget* widget) {
    if (!gtk_widget_get_mapped(widget))
        return;
    if (GTK_IS_LABEL(widget))
        logLine(std::string("🧪 Label: ") + gtk_label_get_text(GTK_LABEL(widget)));
    for (auto* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child))
        logShownLabels(child);
}

} // namespace

void ScreenActions::enableTestCommands() {
    auto action = Gio::SimpleAction::create("test-screen", Glib::VARIANT_TYPE_STRING);
    action->signal_activate().connect([this](const Glib::VariantBase& parameter) {
        runTestCommand(Glib::VariantBase::cast_dynamic<Glib::Variant<Glib::ustring>>(parameter).get());
    });
    m_parts.application->add_action(action);
    m_actions.push_back(action);
}

ProfileForm* ScreenActions::openForm() {
    if (m_addForm)
        return m_addForm.get();
    return m_profilesScreen ? m_profilesScreen->form() : nullptr;
}

void ScreenActions::runTestCommand(const std::string& command) {
    logLine("🧪 Screen command: " + command);
    const auto colon = command.find(':');
    const std::string verb = command.substr(0, colon);
    const std::string argument = colon == std::string::npos ? "" : command.substr(colon + 1);
    const auto& profiles = m_parts.profiles.profiles();
    auto nth = [&]() -> const Profile* {
        const auto index = position(argument);
        return index && *index < profiles.size() ? &profiles[*index] : nullptr;
    };

    if (verb == "close") {
        m_parts.window.popdownMenus();
        // Every window but the main one: sheets, alerts and dialogs alike.
        GList* toplevels = gtk_window_list_toplevels();
        for (GList* item = toplevels; item; item = item->next) {
            if (GTK_WIDGET(item->data) != GTK_WIDGET(m_parts.window.gobj()) &&
                gtk_widget_get_visible(GTK_WIDGET(item->data)))
                gtk_window_close(GTK_WINDOW(item->data));
        }
        g_list_free(toplevels);
    } else if (verb == "labels") {
        logShownLabels(GTK_WIDGET(m_parts.window.gobj()));
    } else if (verb == "popup") {
        m_parts.window.popupMenu(argument);
    } else if (verb == "vpn-alert") {
        m_vpnFlow.loadAskedForWarning();
    } else if (verb == "edit") {
        if (const auto* profile = nth())
            showProfiles().showEditForm(*profile);
    } else if (verb == "delete") {
        if (const auto* profile = nth())
            showProfiles().askToDelete(*profile);
    } else if (verb == "add") {
        showProfiles().showAddForm();
    } else if (auto* form = openForm()) {
        if (verb == "form-name")
            form->setName(argument);
        else if (verb == "form-city")
            form->setCity(position(argument).value_or(0));
        else if (verb == "form-coordinates") {
            const auto semicolon = argument.find(';');
            form->setCoordinates(argument.substr(0, semicolon),
                                 semicolon == std::string::npos ? "" : argument.substr(semicolon + 1));
        } else if (verb == "form-calls-off")
            form->setCallsEnabled(false);
        else if (verb == "form-import")
            form->setImportFromBrowser(true);
        else if (verb == "form-scroll-end")
            form->scrollToEnd();
        else if (verb == "form-save")
            form->save();
    }
}

} // namespace orvi::ui
