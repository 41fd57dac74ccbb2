#include "ui/StatusToast.h"

namespace orvi::ui {

StatusToast::~StatusToast() {
    m_autoHide.disconnect();
}

StatusToast::StatusToast(std::function<void(const std::filesystem::path&)> reveal)
    : m_reveal(std::move(reveal)) {
    set_transition_type(Gtk::RevealerTransitionType::SLIDE_UP);
    set_valign(Gtk::Align::END);
    set_halign(Gtk::Align::CENTER);
    set_margin_bottom(12);
    m_box.add_css_class("app-notification");
    m_box.add_css_class("osd");
    m_box.set_margin_start(6);
    m_box.set_margin_end(6);
    m_label.set_wrap(true);
    m_label.set_max_width_chars(60);
    m_closeButton.set_icon_name("window-close-symbolic");
    m_closeButton.add_css_class("flat");
    m_closeButton.set_tooltip_text("Закрыть");
    m_warning.set_from_icon_name("dialog-warning-symbolic");
    m_box.append(m_warning);
    m_box.append(m_spinner);
    m_box.append(m_label);
    m_box.append(m_revealButton);
    m_box.append(m_closeButton);
    set_child(m_box);
    m_revealButton.signal_clicked().connect([this] {
        if (m_revealable && m_reveal)
            m_reveal(*m_revealable);
    });
    m_closeButton.signal_clicked().connect([this] { show(std::nullopt); });
    show(std::nullopt);
}

void StatusToast::show(const std::optional<StatusLine>& line) {
    m_autoHide.disconnect();
    if (!line) {
        set_reveal_child(false);
        m_spinner.stop();
        return;
    }
    m_label.set_text(line->text);
    m_spinner.set_visible(line->busy);
    if (line->busy)
        m_spinner.start();
    else
        m_spinner.stop();
    m_revealable = line->revealable;
    m_revealButton.set_visible(line->revealable.has_value());
    // Red text is unreadable on the dark bar; a warning sign marks a failure instead.
    m_warning.set_visible(line->isError);
    set_reveal_child(true);
    // A finished line stays long enough to read and act on, then gets out of the way.
    if (!line->busy)
        m_autoHide = Glib::signal_timeout().connect_seconds(
            [this] {
                set_reveal_child(false);
                return false;
            },
            15);
}

} // namespace orvi::ui
