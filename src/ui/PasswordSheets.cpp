#include "ui/PasswordSheets.h"

#include "core/shell/SettingsViewModel.h"

namespace orvi::ui {
namespace {

void setUpSheet(Gtk::Window& sheet, Gtk::Window& parent, Gtk::Box& box, const char* title) {
    sheet.set_title(title);
    sheet.set_transient_for(parent);
    sheet.set_modal(true);
    sheet.set_default_size(380, -1);
    sheet.set_resizable(false);
    box.set_margin(18);
    sheet.set_child(box);
    // Escape closes a sheet like "Отмена".
    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(
        [&sheet](guint key, guint, Gdk::ModifierType) {
            if (key != GDK_KEY_Escape)
                return false;
            sheet.close();
            return true;
        },
        false);
    sheet.add_controller(keys);
}

Gtk::Label* sectionLabel(const char* text) {
    auto* label = Gtk::make_managed<Gtk::Label>(text);
    label->set_xalign(0);
    label->add_css_class("heading");
    return label;
}

Gtk::Label* wrappedText(const char* text) {
    auto* label = Gtk::make_managed<Gtk::Label>(text);
    label->set_xalign(0);
    label->set_wrap(true);
    label->set_max_width_chars(44);
    return label;
}

Gtk::Box* buttonRow(Gtk::Button& cancel, Gtk::Button& confirm) {
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    row->set_halign(Gtk::Align::END);
    row->set_margin_top(6);
    confirm.add_css_class("suggested-action");
    row->append(cancel);
    row->append(confirm);
    return row;
}

} // namespace

ExportPasswordSheet::ExportPasswordSheet(Gtk::Window& parent, std::function<void(std::string)> onExport)
    : m_onExport(std::move(onExport)) {
    setUpSheet(*this, parent, m_box, "Экспорт с шифрованием");
    m_box.append(*sectionLabel("Пароль для шифрования"));
    m_box.append(
        *wrappedText("Этот пароль понадобится для расшифровки cookies на другом устройстве. Сохраните "
                     "его в безопасном месте."));
    m_password.set_show_peek_icon(true);
    m_password.property_placeholder_text() = "Пароль";
    m_confirmation.set_show_peek_icon(true);
    m_confirmation.property_placeholder_text() = "Подтвердите пароль";
    m_mismatch.set_text("Пароли не совпадают");
    m_mismatch.set_xalign(0);
    m_mismatch.add_css_class("error");
    m_mismatch.add_css_class("caption");
    m_box.append(m_password);
    m_box.append(m_confirmation);
    m_box.append(m_mismatch);
    m_box.append(*buttonRow(m_cancel, m_export));

    m_password.signal_changed().connect([this] { update(); });
    m_confirmation.signal_changed().connect([this] { update(); });
    m_confirmation.property_activates_default() = true;
    set_default_widget(m_export);
    m_cancel.signal_clicked().connect([this] { close(); });
    m_export.signal_clicked().connect([this] {
        const std::string password = m_password.get_text();
        if (!SettingsViewModel::canExportEncrypted(password, m_confirmation.get_text()))
            return;
        // The password leaves the sheet only through the callback.
        m_password.set_text("");
        m_confirmation.set_text("");
        close();
        m_onExport(password);
    });
    update();
}

void ExportPasswordSheet::update() {
    const std::string password = m_password.get_text();
    const std::string confirmation = m_confirmation.get_text();
    m_mismatch.set_visible(SettingsViewModel::passwordsDiffer(password, confirmation));
    m_export.set_sensitive(SettingsViewModel::canExportEncrypted(password, confirmation));
}

ImportPasswordSheet::ImportPasswordSheet(Gtk::Window& parent, std::function<void(std::string)> onImport)
    : m_onImport(std::move(onImport)) {
    setUpSheet(*this, parent, m_box, "Импорт с расшифровкой");
    m_box.append(*sectionLabel("Пароль для расшифровки"));
    m_box.append(*wrappedText("Введите пароль, который был использован при экспорте cookies."));
    m_password.set_show_peek_icon(true);
    m_password.property_placeholder_text() = "Пароль";
    m_box.append(m_password);
    m_box.append(*buttonRow(m_cancel, m_import));

    m_import.set_sensitive(false);
    m_password.signal_changed().connect([this] { m_import.set_sensitive(!m_password.get_text().empty()); });
    m_password.property_activates_default() = true;
    set_default_widget(m_import);
    m_cancel.signal_clicked().connect([this] { close(); });
    m_import.signal_clicked().connect([this] {
        const std::string password = m_password.get_text();
        if (password.empty())
            return;
        m_password.set_text("");
        close();
        m_onImport(password);
    });
}

} // namespace orvi::ui
