#include "core/chat/ChatTranscript.h"

#include <array>
#include <string_view>

namespace orvi {
namespace {

constexpr std::string_view kHead =
    "<!doctype html><html lang=\"ru\"><head><meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'\">\n"
    "<title>";

constexpr std::array<std::string_view, 7> kStylesheet = {
    ":root{color-scheme:light dark;--page:#fff;--text:#17212b;--muted:#526170;--in:#f1f4f8;--out:#e1f1ff}",
    "*{box-sizing:border-box}body{font:16px/1.5 "
    "system-ui,-apple-system,sans-serif;max-width:900px;margin:40px "
    "auto;padding:0 20px;background:var(--page);color:var(--text)}",
    "h1{font-size:1.8rem;overflow-wrap:anywhere}article{max-width:90%;padding:16px;margin:12px "
    "0;background:var(--in);border-radius:12px;break-inside:avoid}",
    "article.outgoing{margin-left:auto;background:var(--out)}p{white-space:pre-wrap;overflow-wrap:anywhere}"
    "article p{margin:8px 0}small{color:var(--muted)}",
    "@media(prefers-color-scheme:dark){:root{--page:#181c20;--text:#edf1f5;--muted:#b3bfca;--in:#262e36;--"
    "out:#"
    "193e58}}",
    "@media(max-width:600px){body{margin:20px auto;padding:0 12px}article{max-width:96%;padding:12px}}",
    "@media print{:root{color-scheme:light;--page:#fff;--text:#000;--muted:#444;--in:#f3f3f3;--out:#eaeaea}"
    "body{max-width:none;margin:0;font-size:11pt}}",
};

constexpr std::string_view kDisclaimer =
    "</p><p>Текст и подписи сохранены в том виде, в котором их показал ORVI. Дата и автор могут "
    "отсутствовать. Фото, видео и файлы не включены.</p>";
constexpr std::string_view kAttachment = "<small>Вложение: файл не включён в экспорт.</small>";
constexpr std::string_view kOwnAuthor = "Вы";
constexpr std::string_view kIncomingAuthor = "Входящее сообщение";

void appendArticle(std::string& out, const ChatTranscript::Message& message) {
    out.append("<article class=\"")
        .append(message.isOutgoing() ? "outgoing" : "incoming")
        .append("\"><small>");
    appendEscapedHtml(out, message.dateLabel);
    out.push_back(' ');
    appendEscapedHtml(out, message.timeLabel);
    out.append(" \u00B7 ");
    if (!message.author.empty())
        appendEscapedHtml(out, message.author);
    else
        out.append(message.isOutgoing() ? kOwnAuthor : kIncomingAuthor);
    out.append("</small><p>");
    appendEscapedHtml(out, message.text);
    out.append("</p>");
    if (message.hasMedia)
        out.append(kAttachment);
    out.append("</article>");
}

} // namespace

std::string ChatTranscript::htmlPage() const {
    std::string out;
    // Escaping rarely grows a text much, so one reservation usually holds the whole page.
    std::size_t estimate = 4096 + 2 * title.size() + exportedAt.size() + note.size();
    for (const auto& m : messages)
        estimate += 160 + m.text.size() + m.text.size() / 8 + m.author.size() + m.dateLabel.size() +
                    m.timeLabel.size();
    out.reserve(estimate);

    out.append(kHead);
    appendEscapedHtml(out, title);
    out.append("</title>\n<style>\n");
    for (auto line : kStylesheet)
        out.append(line).push_back('\n');
    out.append("</style></head>\n<body><h1>");
    appendEscapedHtml(out, title);
    out.append("</h1><p>Экспорт: ");
    appendEscapedHtml(out, exportedAt);
    out.append(". Сообщений: ").append(std::to_string(messages.size())).append(".</p>\n<p>");
    appendEscapedHtml(out, note);
    out.append(kDisclaimer);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (i > 0)
            out.push_back('\n');
        appendArticle(out, messages[i]);
    }
    out.append("</body></html>");
    return out;
}

} // namespace orvi
