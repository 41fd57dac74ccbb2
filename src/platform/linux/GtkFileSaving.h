#pragma once

#include "platform/FileSaving.h"

#include <functional>
#include <gtkmm.h>

namespace orvi::platform {

// The save dialog through Gtk::FileChooserNative (the portal's when sandboxed) and the
// reveal through the file manager's D-Bus interface, falling back to opening the folder.
class GtkFileSaving final : public FileSaving {
public:
    // The dialog is made transient for the window this returns, when there is one.
    explicit GtkFileSaving(std::function<Gtk::Window*()> parent);

    void chooseSaveDestination(const std::string& suggestedName, const std::filesystem::path& startFolder,
                               std::function<void(std::optional<std::filesystem::path>)> completion) override;
    void reveal(const std::filesystem::path& file) override;

private:
    std::function<Gtk::Window*()> m_parent;
};

} // namespace orvi::platform
