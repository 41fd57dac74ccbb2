#pragma once

#include "core/base/Signal.h"
#include "core/chat/ChatExportSheetModel.h"

#include <gtkmm.h>
#include <memory>
#include <vector>

namespace orvi::ui {

// The modal window through which the open conversation is collected and saved as HTML or
// JSON. A thin view over ChatExportSheetModel; it cannot be dismissed while collecting,
// except with "Закрыть", which cancels the collection.
class ChatExportSheet final : public Gtk::Window {
public:
    ChatExportSheet(Gtk::Window& parent, std::shared_ptr<ChatExportSheetModel> model);
    ~ChatExportSheet() override;

    // Emitted once the sheet has closed for good; its owner may then drop it.
    sigc::signal<void()>& signalClosed() { return m_closed; }

private:
    // A labelled value with "−" and "+" buttons, bound to a stored option.
    struct Stepper {
        Gtk::Box row{Gtk::Orientation::HORIZONTAL, 8};
        Gtk::Label label;
        Gtk::Box buttons{Gtk::Orientation::HORIZONTAL, 0};
        Gtk::Button minus{"−"};
        Gtk::Button plus{"+"};
    };

    void buildStepper(Stepper& stepper, std::function<int()> get, std::function<void(int)> set,
                      ChatExportSheetModel::Range range, std::function<std::string(int)> text);
    void refresh();
    void save();
    void showSavePanel(std::string bytes);
    void closeSheet();
    bool onKeyPressed(guint keyval, guint keycode, Gdk::ModifierType state);

    std::shared_ptr<ChatExportSheetModel> m_model;
    std::vector<Connection> m_connections;
    std::vector<std::function<void()>> m_stepperRefreshers;
    Glib::RefPtr<Gtk::FileChooserNative> m_savePanel;
    bool m_closing = false;

    Gtk::ScrolledWindow m_scroller;
    Gtk::Box m_column{Gtk::Orientation::VERTICAL, 12};
    Gtk::Label m_heading;
    Gtk::Label m_intro;
    Gtk::Box m_historyRow{Gtk::Orientation::HORIZONTAL, 12};
    Gtk::Label m_historyLabel;
    Gtk::Switch m_historySwitch;
    Gtk::Box m_optionsGroup{Gtk::Orientation::VERTICAL, 10};
    Stepper m_retries;
    Stepper m_wait;
    Stepper m_duration;
    Gtk::Label m_optionsCaption;
    Gtk::Label m_scopeCaption;
    Gtk::Box m_formatRow{Gtk::Orientation::HORIZONTAL, 12};
    Gtk::Label m_formatLabel;
    Gtk::DropDown m_formatPicker;
    Gtk::Label m_htmlCaption;
    Gtk::Spinner m_progress;
    Gtk::Label m_status;
    Gtk::Label m_transcriptTitle;
    Gtk::Label m_transcriptNote;
    Gtk::Label m_error;
    Gtk::Box m_buttons{Gtk::Orientation::VERTICAL, 12};
    Gtk::Button m_closeButton{"Закрыть"};
    Gtk::Button m_stopButton{"Остановить и сохранить фрагмент"};
    Gtk::Button m_startButton;
    Gtk::Button m_saveButton{"Сохранить…"};
    sigc::signal<void()> m_closed;
};

} // namespace orvi::ui
