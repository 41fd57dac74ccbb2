#include "ui/ChatExportSheet.h"

namespace orvi::ui {
namespace {

Gtk::Label& caption(Gtk::Label& label, const char* text) {
    label.set_text(text);
    label.set_wrap(true);
    label.set_xalign(0);
    label.add_css_class("dim-label");
    label.add_css_class("caption");
    return label;
}

} // namespace

ChatExportSheet::ChatExportSheet(Gtk::Window& parent, std::shared_ptr<ChatExportSheetModel> model)
    : m_model(std::move(model)) {
    set_title("Экспорт переписки");
    set_transient_for(parent);
    set_modal(true);
    set_default_size(560, 580);
    // The owner drops the sheet once it has closed; GTK must not destroy it underneath.
    set_hide_on_close(true);

    m_heading.set_text("Экспорт текущей переписки");
    m_heading.add_css_class("title-2");
    m_heading.set_xalign(0);
    m_intro.set_text(
        "Откройте нужный диалог перед экспортом. Во время сбора приложение прокручивает его историю; "
        "не переключайте чат.");
    m_intro.set_wrap(true);
    m_intro.set_xalign(0);

    m_historyLabel.set_text("Подгружать историю");
    m_historyLabel.set_hexpand(true);
    m_historyLabel.set_xalign(0);
    m_historySwitch.set_active(m_model->history());
    m_historySwitch.property_active().signal_changed().connect(
        [this] { m_model->history.set(m_historySwitch.get_active()); });
    m_historyRow.append(m_historyLabel);
    m_historyRow.append(m_historySwitch);

    auto& m = *m_model;
    buildStepper(
        m_retries, [&m] { return m.retryCount(); }, [&m](int v) { m.setRetryCount(v); },
        ChatExportSheetModel::kRetryRange, [](int v) { return "Повторных попыток: " + std::to_string(v); });
    buildStepper(
        m_wait, [&m] { return m.waitSeconds(); }, [&m](int v) { m.setWaitSeconds(v); },
        ChatExportSheetModel::kWaitRange,
        [](int v) { return "Ожидание подгрузки: " + std::to_string(v) + " с"; });
    buildStepper(
        m_duration, [&m] { return m.durationMinutes(); }, [&m](int v) { m.setDurationMinutes(v); },
        ChatExportSheetModel::kDurationRange,
        [](int v) { return "Лимит сбора: " + std::to_string(v) + " мин"; });
    caption(m_optionsCaption,
            "Ожидание применяется при разрыве и у границ истории. 0 повторов — остановиться при "
            "первом разрыве. Лимит сбора действует независимо от числа повторов.");
    m_optionsGroup.append(m_optionsCaption);
    caption(m_scopeCaption, "Без подгрузки сохраняются только сообщения, уже находящиеся в странице. Полнота "
                            "истории не гарантируется. Вложения сохраняются только как текстовые описания.");

    m_formatLabel.set_text("Формат");
    m_formatPicker.set_model(Gtk::StringList::create({"HTML — для чтения", "JSON — для обработки"}));
    m_formatPicker.set_selected(m_model->format() == TranscriptFormat::html ? 0 : 1);
    m_formatPicker.property_selected().signal_changed().connect([this] {
        m_model->format.set(m_formatPicker.get_selected() == 0 ? TranscriptFormat::html
                                                               : TranscriptFormat::json);
    });
    m_formatRow.append(m_formatLabel);
    m_formatRow.append(m_formatPicker);
    caption(m_htmlCaption,
            "CSS встроен в HTML. Файл открывается без интернета и отдельных файлов оформления.");

    m_progress.set_halign(Gtk::Align::START);
    for (auto* label : {&m_status, &m_transcriptTitle, &m_transcriptNote, &m_error}) {
        label->set_wrap(true);
        label->set_xalign(0);
    }
    m_transcriptTitle.add_css_class("heading");
    m_transcriptNote.add_css_class("caption");
    m_error.add_css_class("error");
    m_error.set_selectable(true);

    m_buttons.set_halign(Gtk::Align::START);
    m_saveButton.add_css_class("suggested-action");
    m_closeButton.signal_clicked().connect([this] { closeSheet(); });
    m_stopButton.signal_clicked().connect([this] { m_model->stopAndSave(); });
    m_startButton.signal_clicked().connect([this] { m_model->startCollecting(); });
    m_saveButton.signal_clicked().connect([this] { save(); });
    for (auto* button : {&m_closeButton, &m_stopButton, &m_startButton, &m_saveButton})
        m_buttons.append(*button);

    for (Gtk::Widget* widget : std::initializer_list<Gtk::Widget*>{
             &m_heading, &m_intro, &m_historyRow, &m_optionsGroup, &m_scopeCaption, &m_formatRow,
             &m_htmlCaption, &m_progress, &m_status, &m_transcriptTitle, &m_transcriptNote, &m_error,
             &m_buttons})
        m_column.append(*widget);
    m_column.set_margin(20);
    m_scroller.set_child(m_column);
    m_scroller.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    set_child(m_scroller);

    auto& collector = m_model->collector();
    auto changed = [this](const auto&) { refresh(); };
    m_connections.push_back(collector.running.subscribe(changed));
    m_connections.push_back(collector.status.subscribe(changed));
    m_connections.push_back(collector.transcript.subscribe(changed));
    m_connections.push_back(collector.error.subscribe(changed));
    m_connections.push_back(m_model->history.subscribe(changed));
    m_connections.push_back(m_model->format.subscribe(changed));
    m_connections.push_back(m_model->saveError.subscribe(changed));
    m_connections.push_back(m_model->rendering.subscribe(changed));

    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(sigc::mem_fun(*this, &ChatExportSheet::onKeyPressed), false);
    add_controller(keys);
    signal_close_request().connect(
        [this] {
            if (!m_closing && !m_model->canDismissInteractively())
                return true;
            m_model->close();
            m_closed.emit();
            return false;
        },
        false);
    refresh();
}

ChatExportSheet::~ChatExportSheet() {
    m_connections.clear();
    if (m_savePanel)
        m_savePanel->hide();
}

void ChatExportSheet::buildStepper(Stepper& stepper, std::function<int()> get, std::function<void(int)> set,
                                   ChatExportSheetModel::Range range, std::function<std::string(int)> text) {
    stepper.label.set_xalign(0);
    stepper.label.set_hexpand(true);
    stepper.buttons.add_css_class("linked");
    stepper.buttons.append(stepper.minus);
    stepper.buttons.append(stepper.plus);
    stepper.row.append(stepper.label);
    stepper.row.append(stepper.buttons);
    auto refreshValue = [&stepper, get, range, text] {
        const int value = get();
        stepper.label.set_text(text(value));
        stepper.minus.set_sensitive(stepper.row.get_sensitive() && value > range.minimum);
        stepper.plus.set_sensitive(stepper.row.get_sensitive() && value < range.maximum);
    };
    stepper.minus.signal_clicked().connect([get, set, refreshValue] {
        set(get() - 1);
        refreshValue();
    });
    stepper.plus.signal_clicked().connect([get, set, refreshValue] {
        set(get() + 1);
        refreshValue();
    });
    m_stepperRefreshers.push_back(refreshValue);
    m_optionsGroup.append(stepper.row);
}

void ChatExportSheet::refresh() {
    const auto& collector = m_model->collector();
    const bool running = collector.running();
    const bool saving = static_cast<bool>(m_savePanel) || m_model->rendering();
    const auto& transcript = collector.transcript();

    m_historySwitch.set_sensitive(!running);
    m_optionsGroup.set_visible(m_model->history());
    for (auto* stepper : {&m_retries, &m_wait, &m_duration})
        stepper->row.set_sensitive(!running);
    for (auto& refreshValue : m_stepperRefreshers)
        refreshValue();
    m_formatPicker.set_sensitive(!saving);
    m_htmlCaption.set_visible(m_model->format() == TranscriptFormat::html);

    m_progress.set_visible(running);
    m_progress.set_spinning(running);
    m_status.set_visible(!collector.status().empty());
    m_status.set_text(collector.status());
    m_transcriptTitle.set_visible(transcript.has_value());
    m_transcriptNote.set_visible(transcript.has_value());
    if (transcript) {
        m_transcriptTitle.set_text(transcript->title);
        m_transcriptNote.set_text(transcript->note);
    }
    const auto error = m_model->errorText();
    m_error.set_visible(error.has_value());
    m_error.set_text(error.value_or(""));

    m_stopButton.set_visible(running);
    m_startButton.set_visible(!running);
    m_startButton.set_label(transcript ? "Собрать заново" : "Собрать сообщения");
    m_saveButton.set_visible(!running && transcript.has_value());
    m_saveButton.set_sensitive(!saving);
}

void ChatExportSheet::save() {
    m_model->saveError.set(std::nullopt);
    m_model->render([this](std::string bytes) { showSavePanel(std::move(bytes)); });
}

void ChatExportSheet::showSavePanel(std::string bytes) {
    const bool html = m_model->format() == TranscriptFormat::html;
    m_savePanel = Gtk::FileChooserNative::create("Сохранить переписку", *this, Gtk::FileChooser::Action::SAVE,
                                                 "Сохранить", "Отмена");
    auto filter = Gtk::FileFilter::create();
    filter->set_name(html ? "HTML" : "JSON");
    filter->add_mime_type(html ? "text/html" : "application/json");
    filter->add_suffix(html ? "html" : "json");
    m_savePanel->add_filter(filter);
    m_savePanel->set_current_name(m_model->suggestedFileName());
    m_savePanel->set_modal(true);
    auto shared = std::make_shared<std::string>(std::move(bytes));
    m_savePanel->signal_response().connect([this, shared](int response) {
        auto panel = std::exchange(m_savePanel, {});
        if (response == static_cast<int>(Gtk::ResponseType::ACCEPT)) {
            auto file = panel->get_file();
            const std::string path = file ? file->get_path() : std::string();
            if (path.empty())
                m_model->saveFailed("Выбранное место нельзя записать как локальный файл.");
            else
                m_model->write(path, *shared);
        }
        refresh();
    });
    m_savePanel->show();
    refresh();
}

void ChatExportSheet::closeSheet() {
    m_closing = true;
    close();
}

bool ChatExportSheet::onKeyPressed(guint keyval, guint, Gdk::ModifierType) {
    if (keyval != GDK_KEY_Escape)
        return false;
    if (m_model->canDismissInteractively())
        close();
    return true;
}

} // namespace orvi::ui
