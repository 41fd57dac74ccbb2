#pragma once

#include "core/page/DownloadStatus.h"

#include <functional>
#include <gtkmm.h>

namespace orvi::ui {

// A small bar at the bottom of the window telling what happened to a download (or that a
// page feature is unavailable), with "Показать в папке" once a file is saved.
class StatusToast final : public Gtk::Revealer {
public:
    explicit StatusToast(std::function<void(const std::filesystem::path&)> reveal);
    ~StatusToast() override;

    // None hides the bar.
    void show(const std::optional<StatusLine>& line);

private:
    std::function<void(const std::filesystem::path&)> m_reveal;
    std::optional<std::filesystem::path> m_revealable;
    Gtk::Box m_box{Gtk::Orientation::HORIZONTAL, 8};
    Gtk::Image m_warning;
    Gtk::Spinner m_spinner;
    Gtk::Label m_label;
    Gtk::Button m_revealButton{"Показать в папке"};
    Gtk::Button m_closeButton;
    sigc::connection m_autoHide;
};

} // namespace orvi::ui
