#include "core/chat/ChatExportCollector.h"
#include "fakes/MemoryPreferencesStore.h"
#include "integration/WebKitTestSupport.h"
#include "platform/linux/GLibScheduler.h"
#include "ui/ChatExportModule.h"
#include "ui/ChatExportSheet.h"

#include <gtest/gtest.h>
#include <gtkmm/init.h>

using namespace orvi;
using namespace orvi::test;

using engine::World;

namespace {

constexpr int kMessages = 500;

// The imitation conversation on screen, as the user has it open.
struct OpenConversation : TestPage {
    OpenConversation() {
        show();
        if (!loadAndWait(*view, nav, env.service->webURL("/conversation?delay=30")))
            ADD_FAILURE() << "the conversation did not load";
    }

    Json page(const std::string& script) { return valueOf(*view, script); }
    Json client(const std::string& script) { return valueOf(*view, script, World::client); }
};

std::string expectedText(int i) {
    if (i % 10 == 7)
        return i % 20 == 7 ? "" : "Подпись к фото " + std::to_string(i);
    if (i == 100)
        return "Сообщение 100\nвторая строка";
    if (i == 250)
        return "Сообщение 250 <b>&amp;</b> \"кавычки\" 'апостроф'";
    return "Сообщение " + std::to_string(i);
}

// Messages above the first date separator the page holds show no date.
void expectMessage(const ChatTranscript::Message& m, int i, int firstDated = 1) {
    EXPECT_EQ(m.text, expectedText(i)) << i;
    EXPECT_EQ(m.direction, i % 3 == 0 ? "outgoing" : "incoming") << i;
    EXPECT_EQ(m.author, i % 3 == 0 ? "" : "Анна Смирнова") << i;
    EXPECT_EQ(m.hasMedia, i % 10 == 7) << i;
    EXPECT_EQ(m.dateLabel, i < firstDated ? "" : std::to_string((i - 1) / 40 + 1) + " марта") << i;
    const int minutes = (i * 7) % (24 * 60);
    char time[8];
    std::snprintf(time, sizeof time, "%02d:%02d", minutes / 60, minutes % 60);
    EXPECT_EQ(m.timeLabel, time) << i;
}

} // namespace

TEST(ChatExportModule, CollectsTheWholeHistoryOnceInPageOrderAndLeavesThePageAsItWas) {
    OpenConversation chat;
    const std::string gapToBottom =
        "(h => h.scrollHeight - h.scrollTop - h.clientHeight)(document.getElementById('history'))";
    const Json pageGlobals = chat.page("Object.getOwnPropertyNames(window).sort()");
    const Json bottomGap = chat.page(gapToBottom);
    auto module = ui::chatExportModuleSource();
    ASSERT_TRUE(module);
    ASSERT_TRUE(evaluate(*chat.view, *module, World::client).ok());
    chat.client("window.__orviChatExport.configure(1, 2)");

    // Faster ticks than the application's, against a page that loads faster too.
    std::vector<std::string> phases;
    Json answer;
    for (int i = 0; i < 300; ++i) {
        answer = chat.client("window.__orviChatExport.step()");
        ASSERT_TRUE(answer.is_object());
        if (answer.contains("phase"))
            phases.push_back(answer["phase"]);
        if (answer.value("done", false))
            break;
        runMainLoopFor(std::chrono::milliseconds(90));
    }
    ASSERT_TRUE(answer.value("done", false)) << answer.dump();
    EXPECT_EQ(answer["count"], kMessages);
    EXPECT_NE(std::find(phases.begin(), phases.end(), "recovering"), phases.end())
        << "the break needed a retry";

    auto transcript =
        ChatTranscript::fromJsonText(chat.client("window.__orviChatExport.finish(false)").get<std::string>());
    ASSERT_TRUE(transcript.ok()) << transcript.error().message;
    EXPECT_EQ(transcript.value().title, "Анна Смирнова");
    ASSERT_EQ(transcript.value().messages.size(), static_cast<std::size_t>(kMessages));
    for (int i = 1; i <= kMessages; ++i)
        expectMessage(transcript.value().messages[i - 1], i);

    chat.client("window.__orviChatExport.cleanup()");
    EXPECT_EQ(chat.page("Object.getOwnPropertyNames(window).sort()"), pageGlobals);
    EXPECT_EQ(chat.page("typeof window.__orviChatExport"), "undefined");
    EXPECT_EQ(chat.client("typeof window.__orviChatExport"), "undefined");
    EXPECT_NEAR(chat.page(gapToBottom).get<double>(), bottomGap.get<double>(), 2.0)
        << "the view is back at the newest messages";
}

namespace {

Gtk::Widget* findWidget(Gtk::Widget& root, const std::function<bool(Gtk::Widget&)>& match) {
    if (match(root))
        return &root;
    for (auto* child = root.get_first_child(); child; child = child->get_next_sibling())
        if (auto* found = findWidget(*child, match))
            return found;
    return nullptr;
}

Gtk::Button* button(Gtk::Widget& root, const std::string& label) {
    return dynamic_cast<Gtk::Button*>(findWidget(root, [&](Gtk::Widget& w) {
        auto* b = dynamic_cast<Gtk::Button*>(&w);
        return b && b->get_label().raw() == label && b->is_drawable();
    }));
}

// Synchronously, unlike activate(), which lets a button look pressed for a moment first.
void click(Gtk::Button* button) {
    ASSERT_TRUE(button);
    g_signal_emit_by_name(button->gobj(), "clicked");
}

bool shows(Gtk::Widget& root, const std::string& text) {
    return findWidget(root, [&](Gtk::Widget& w) {
               auto* l = dynamic_cast<Gtk::Label*>(&w);
               return l && l->get_text().raw() == text && l->is_drawable();
           }) != nullptr;
}

} // namespace

TEST(ChatExportModule, TakesOnlyThePagesMessagesWithoutHistoryTheSheetCollectsAndRolesAlone) {
    OpenConversation chat;
    platform::GLibScheduler scheduler;
    auto collector = ChatExportCollector::create(scheduler, ui::chatExportModuleSource);
    collector->start(chat.view, ChatHistory::onlyLoaded, {4, 6, 3});
    ASSERT_TRUE(runMainLoopUntil([&] { return !collector->running(); }));
    ASSERT_FALSE(collector->error()) << *collector->error();
    ASSERT_TRUE(collector->transcript());
    const auto& messages = collector->transcript()->messages;
    ASSERT_EQ(messages.size(), 50u);
    for (int i = 451; i <= kMessages; ++i)
        expectMessage(messages[i - 451], i, 481);
    EXPECT_EQ(chat.page("conversation.loads()"), 0) << "no older history was asked for";
    EXPECT_EQ(chat.page("typeof window.__orviChatExport"), "undefined");

    // The sheet collects while refusing to close and offers to save the result.
    Gtk::init_gtkmm_internals();
    MemoryPreferencesStore preferences;
    Gtk::Window parent;
    auto model = ChatExportSheetModel::create(preferences, scheduler, ui::chatExportModuleSource,
                                              [&] { return chat.view; });
    auto sheet = std::make_unique<ui::ChatExportSheet>(parent, model);
    bool closed = false;
    sheet->signalClosed().connect([&] { closed = true; });
    sheet->present();
    runMainLoopUntil([&] { return sheet->is_drawable(); });

    for (const char* text : {"Повторных попыток: 4", "Ожидание подгрузки: 6 с", "Лимит сбора: 3 мин"})
        EXPECT_TRUE(shows(*sheet, text)) << text;
    auto* toggle = dynamic_cast<Gtk::Switch*>(
        findWidget(*sheet, [](Gtk::Widget& w) { return dynamic_cast<Gtk::Switch*>(&w); }));
    ASSERT_TRUE(toggle);
    toggle->set_active(false);
    runMainLoopFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(shows(*sheet, "Повторных попыток: 4")) << "options hide without history";
    toggle->set_active(true);
    runMainLoopFor(std::chrono::milliseconds(50));

    click(button(*sheet, "Собрать сообщения"));
    ASSERT_TRUE(
        runMainLoopUntil([&] { return button(*sheet, "Остановить и сохранить фрагмент") != nullptr; }));
    EXPECT_FALSE(toggle->get_sensitive());
    sheet->close();
    runMainLoopFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(sheet->is_visible()) << "closing is refused while collecting";
    EXPECT_FALSE(closed);

    ASSERT_TRUE(
        runMainLoopUntil([&] { return model->collector().status().rfind("Собрано сообщений: ", 0) == 0; }));
    click(button(*sheet, "Остановить и сохранить фрагмент"));
    ASSERT_TRUE(
        runMainLoopUntil([&] { return button(*sheet, "Сохранить…") != nullptr; }, std::chrono::seconds(10)));
    EXPECT_TRUE(button(*sheet, "Собрать заново"));
    EXPECT_TRUE(shows(*sheet, "Анна Смирнова"));
    EXPECT_GE(model->collector().transcript()->messages.size(), 50u);

    click(button(*sheet, "Закрыть"));
    runMainLoopFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(closed);
    EXPECT_FALSE(sheet->is_visible());

    // No message identifiers, no direction classes: roles, a separator and the bubbles'
    // alignment are all there is. Two equal messages in the same minute are both kept.
    const std::string html = R"(<!DOCTYPE html><html><head><style>
      .log { height: 300px; overflow-y: auto; display: flex; flex-direction: column; }
      .row { display: flex; } .bubble { max-width: 50%; } .mine { margin-left: auto; }
      </style></head><body><header><h2>Рабочий чат</h2></header>
      <div class="log" role="log">
        <div role="separator">Вчера</div>
        <div class="row" role="article"><div class="bubble"><strong class="sender">Борис</strong>
          <div>Файл во вложении</div><a download href="#">report.pdf</a><span>9:15</span></div></div>
        <div role="separator">Сегодня</div>
        <div class="row" role="article"><div class="bubble mine"><div>ок</div><span>10:00</span></div></div>
        <div class="row" role="article"><div class="bubble mine"><div>ок</div><span>10:00</span></div></div>
      </div></body></html>)";
    const int before = chat.nav.finished;
    chat.view->loadHTMLString(html, "http://localhost/");
    ASSERT_TRUE(waitForFinish(chat.nav, before));
    ASSERT_TRUE(evaluate(*chat.view, *ui::chatExportModuleSource(), World::client).ok());
    chat.client("window.__orviChatExport.configure(0, 1)");
    for (int i = 0; i < 10 && !chat.client("window.__orviChatExport.step()").value("done", false); ++i)
        runMainLoopFor(std::chrono::milliseconds(20));
    auto transcript =
        ChatTranscript::fromJsonText(chat.client("window.__orviChatExport.finish(false)").get<std::string>());
    ASSERT_TRUE(transcript.ok()) << transcript.error().message;
    EXPECT_EQ(transcript.value().title, "Рабочий чат");
    EXPECT_EQ(transcript.value().messages,
              (std::vector<ChatTranscript::Message>{
                  {"Файл во вложении\nreport.pdf", "Борис", "incoming", "Вчера", "9:15", true},
                  {"ок", "", "outgoing", "Сегодня", "10:00", false},
                  {"ок", "", "outgoing", "Сегодня", "10:00", false}}));
}
