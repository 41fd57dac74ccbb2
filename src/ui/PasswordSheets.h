#pragma once

#include <functional>
#include <gtkmm.h>
#include <string>

namespace orvi::ui {

// Asks for the password of an encrypted export twice; "Экспортировать" stays insensitive
// until both fields hold the same non-empty text.
class ExportPasswordSheet final : public Gtk::Window {
public:
    ExportPasswordSheet(Gtk::Window& parent, std::function<void(std::string password)> onExport);

    Gtk::PasswordEntry& passwordEntry() { return m_password; }
    Gtk::PasswordEntry& confirmationEntry() { return m_confirmation; }
    Gtk::Button& exportButton() { return m_export; }
    Gtk::Label& mismatchLabel() { return m_mismatch; }

private:
    void update();

    Gtk::Box m_box{Gtk::Orientation::VERTICAL, 12};
    Gtk::PasswordEntry m_password;
    Gtk::PasswordEntry m_confirmation;
    Gtk::Label m_mismatch;
    Gtk::Button m_cancel{"Отмена"};
    Gtk::Button m_export{"Экспортировать"};
    std::function<void(std::string)> m_onExport;
};

// Asks for the password an encrypted file was made with.
class ImportPasswordSheet final : public Gtk::Window {
public:
    ImportPasswordSheet(Gtk::Window& parent, std::function<void(std::string password)> onImport);

    Gtk::PasswordEntry& passwordEntry() { return m_password; }
    Gtk::Button& importButton() { return m_import; }

private:
    Gtk::Box m_box{Gtk::Orientation::VERTICAL, 12};
    Gtk::PasswordEntry m_password;
    Gtk::Button m_cancel{"Отмена"};
    Gtk::Button m_import{"Импортировать"};
    std::function<void(std::string)> m_onImport;
};

} // namespace orvi::ui
