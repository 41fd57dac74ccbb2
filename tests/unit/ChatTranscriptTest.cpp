#include "core/chat/ChatTranscript.h"

#include <gtest/gtest.h>

using orvi::ChatTranscript;
using orvi::Json;
using orvi::TranscriptFormat;

namespace {

Json validJson() {
    return Json::parse(R"({
      "title": "Анна", "exportedAt": "06.12.2026, 14:00", "completeness": "полная", "note": "заметка",
      "messages": [
        {"text": "Привет", "author": "Анна", "direction": "incoming", "dateLabel": "5 декабря",
         "timeLabel": "10:01", "hasMedia": false},
        {"text": "", "author": "", "direction": "outgoing", "dateLabel": "", "timeLabel": "", "hasMedia": true}
      ]})");
}

ChatTranscript transcriptOf(std::vector<ChatTranscript::Message> messages) {
    return ChatTranscript{"Чат", "сегодня", "всё", "", std::move(messages)};
}

} // namespace

TEST(ChatTranscript, DecodingRefusesAnyMissingNullOrMistypedField) {
    struct Case {
        const char* name;
        std::function<void(Json&)> change;
        bool decodes;
    };
    const Case cases[] = {
        {"as given", [](Json&) {}, true},
        {"extra keys", [](Json& j) { j["id"] = 7, j["messages"][0]["messageId"] = "m1"; }, true},
        {"no messages", [](Json& j) { j["messages"] = Json::array(); }, true},
        {"missing title", [](Json& j) { j.erase("title"); }, false},
        {"missing messages", [](Json& j) { j.erase("messages"); }, false},
        {"null note", [](Json& j) { j["note"] = nullptr; }, false},
        {"number exportedAt", [](Json& j) { j["exportedAt"] = 1; }, false},
        {"messages as object", [](Json& j) { j["messages"] = Json::object(); }, false},
        {"message not an object", [](Json& j) { j["messages"][1] = "text"; }, false},
        {"missing timeLabel", [](Json& j) { j["messages"][1].erase("timeLabel"); }, false},
        {"null author", [](Json& j) { j["messages"][0]["author"] = nullptr; }, false},
        {"numeric direction", [](Json& j) { j["messages"][0]["direction"] = 1; }, false},
        {"hasMedia \"true\"", [](Json& j) { j["messages"][0]["hasMedia"] = "true"; }, false},
        {"top level array", [](Json& j) { j = Json::array({j}); }, false},
    };
    for (const auto& c : cases) {
        Json json = validJson();
        c.change(json);
        auto decoded = ChatTranscript::fromJsonText(json.dump());
        EXPECT_EQ(decoded.ok(), c.decodes) << c.name;
        if (!c.decodes && !decoded.ok()) {
            EXPECT_FALSE(decoded.error().message.empty()) << c.name;
        }
    }
    EXPECT_FALSE(ChatTranscript::fromJsonText("{\"title\": ").ok());
}

TEST(ChatTranscript, DecodingKeepsEveryFieldAndTheJsonFormSortsKeysKeepsSlashesAndDropsUnknownKeys) {
    Json input = validJson();
    input["id"] = "dropped";
    const std::string hostile = "см. https://orvi.test/a</p>\n\t\"кавычки\" \\ \x01";
    input["messages"][0]["text"] = hostile;
    auto decoded = ChatTranscript::fromJsonText(input.dump());
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    ChatTranscript expected{"Анна", "06.12.2026, 14:00", "полная", "заметка", {}};
    expected.messages = {{hostile, "Анна", "incoming", "5 декабря", "10:01", false},
                         {"", "", "outgoing", "", "", true}};
    EXPECT_EQ(decoded.value(), expected);
    auto text = decoded.value().data(TranscriptFormat::json);
    ASSERT_TRUE(text.ok());
    const auto& json = text.value();

    EXPECT_NE(json.find("https://orvi.test/a</p>"), std::string::npos) << json;
    EXPECT_EQ(json.find("\\/"), std::string::npos);
    EXPECT_EQ(json.find("dropped"), std::string::npos);

    auto keyAt = [&](const std::string& key, std::size_t from = 0) {
        return json.find("\"" + key + "\":", from);
    };
    const char* top[] = {"completeness", "exportedAt", "messages", "note", "title"};
    for (std::size_t i = 1; i < std::size(top); ++i)
        EXPECT_LT(keyAt(top[i - 1]), keyAt(top[i])) << top[i];
    const auto first = keyAt("messages");
    const char* inner[] = {"author", "dateLabel", "direction", "hasMedia", "text", "timeLabel"};
    for (std::size_t i = 1; i < std::size(inner); ++i)
        EXPECT_LT(keyAt(inner[i - 1], first), keyAt(inner[i], first)) << inner[i];

    auto again = ChatTranscript::fromJsonText(json);
    ASSERT_TRUE(again.ok()) << again.error().message;
    EXPECT_EQ(again.value(), decoded.value());
    EXPECT_EQ(orvi::parseJson(json)->at("messages")[1]["hasMedia"], true);

    auto empty = transcriptOf({});
    EXPECT_EQ(ChatTranscript::fromJsonText(empty.data(TranscriptFormat::json).value()).value(), empty);

    auto broken = transcriptOf({{"\xC3\x28", "", "incoming", "", "", false}});
    EXPECT_FALSE(broken.data(TranscriptFormat::json).ok()) << "JSON refuses text that is not UTF-8";
    EXPECT_TRUE(broken.data(TranscriptFormat::html).ok());
}

TEST(ChatTranscript, PageEscapesHostileTitlesAndTextsLiterally) {
    auto transcript =
        transcriptOf({{"&amp; <script>alert('x')</script>", "<i>Ева</i>", "incoming", "", "", false}});
    transcript.title = "<b>\"A&B\"</b>";
    transcript.exportedAt = "<img src=x onerror=alert(1)>";
    transcript.note = "it's";
    const auto page = transcript.htmlPage();

    for (const char* tag : {"<title>", "<h1>"})
        EXPECT_NE(page.find(tag + std::string("&lt;b&gt;&quot;A&amp;B&quot;&lt;/b&gt;<")), std::string::npos);
    EXPECT_NE(page.find("&amp;amp; &lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("&lt;i&gt;Ева&lt;/i&gt;"), std::string::npos);
    EXPECT_NE(page.find("<p>it&#39;s</p>"), std::string::npos);
    for (const char* raw : {"<b>", "<script", "<img", "<link", "http://", "https://", "<i>"})
        EXPECT_EQ(page.find(raw), std::string::npos) << raw;
    EXPECT_NE(page.find("content=\"default-src 'none'; style-src 'unsafe-inline'\""), std::string::npos);
}

TEST(ChatTranscript, PageCaptionsArticlesByDirectionAndAuthor) {
    struct Case {
        ChatTranscript::Message message;
        std::string article;
    };
    const Case cases[] = {
        {{"a", "", "outgoing", "1 мая", "9:00", false},
         "<article class=\"outgoing\"><small>1 мая 9:00 · Вы</small><p>a</p></article>"},
        {{"b", "", "incoming", "", "", false},
         "<article class=\"incoming\"><small>  · Входящее сообщение</small><p>b</p></article>"},
        {{"c", "", "OUTGOING", "", "", false},
         "<article class=\"incoming\"><small>  · Входящее сообщение</small><p>c</p></article>"},
        {{"d", "Борис", "outgoing", "", "12:30", false},
         "<article class=\"outgoing\"><small> 12:30 · Борис</small><p>d</p></article>"},
        {{"", "Анна", "", "вчера", "", true},
         "<article class=\"incoming\"><small>вчера  · Анна</small><p></p><small>Вложение: файл не включён в "
         "экспорт.</small></article>"},
        {{"две\nстроки ", "", "out", "", "", false},
         "<article class=\"incoming\"><small>  · Входящее сообщение</small><p>две\nстроки </p></article>"},
    };
    for (const auto& c : cases) {
        const auto page = transcriptOf({c.message}).htmlPage();
        EXPECT_NE(page.find("</p>" + c.article + "</body></html>"), std::string::npos) << c.article << "\n"
                                                                                       << page;
    }
}

TEST(ChatTranscript, PageHeaderCountsEveryMessageButLeavesTheCompletenessOut) {
    auto one = transcriptOf({{"", "", "incoming", "", "", false}});
    one.completeness = "секрет полноты";
    const auto page = one.htmlPage();
    EXPECT_NE(page.find("<p>Экспорт: сегодня. Сообщений: 1.</p>\n<p></p><p>"), std::string::npos);
    EXPECT_EQ(page.find("секрет полноты"), std::string::npos) << "completeness stays out of the page";

    std::vector<ChatTranscript::Message> many(3, {"x", "", "incoming", "", "", false});
    const auto three = transcriptOf(many).htmlPage();
    EXPECT_NE(three.find(". Сообщений: 3."), std::string::npos);
}
