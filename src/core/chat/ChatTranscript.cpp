#include "core/chat/ChatTranscript.h"

#include <cstdint>

namespace orvi {
namespace {

constexpr const char* kDecodingErrorDomain = "ChatTranscript";
constexpr int kMalformedJsonCode = 1;
constexpr int kMissingKeyCode = 2;
constexpr int kWrongTypeCode = 3;

struct FieldReader {
    const Json& object;
    std::string where;
    std::optional<Error> failure;

    const Json* member(const char* key, bool (Json::*hasType)() const noexcept, const char* typeName) {
        if (failure)
            return nullptr;
        auto it = object.find(key);
        if (it == object.end()) {
            failure = Error{kDecodingErrorDomain, kMissingKeyCode,
                            "В переписке нет поля «" + std::string(key) + "»" + where + "."};
            return nullptr;
        }
        if (!((*it).*hasType)()) {
            failure = Error{kDecodingErrorDomain, kWrongTypeCode,
                            "Поле «" + std::string(key) + "»" + where + " должно быть " + typeName + "."};
            return nullptr;
        }
        return &*it;
    }

    void read(const char* key, std::string& into) {
        if (auto* value = member(key, &Json::is_string, "строкой"))
            into = value->get_ref<const std::string&>();
    }
    void read(const char* key, bool& into) {
        if (auto* value = member(key, &Json::is_boolean, "логическим значением"))
            into = value->get<bool>();
    }
};

Error notAnObject(const std::string& where) {
    return Error{kDecodingErrorDomain, kWrongTypeCode, "Переписка" + where + " должна быть объектом JSON."};
}

} // namespace

Result<ChatTranscript> ChatTranscript::fromJsonText(std::string_view text) {
    auto json = parseJson(text);
    if (!json)
        return Error{kDecodingErrorDomain, kMalformedJsonCode,
                     "Переписка пришла в повреждённом виде (не JSON)."};
    return fromJson(*json);
}

Result<ChatTranscript> ChatTranscript::fromJson(const Json& json) {
    if (!json.is_object())
        return notAnObject("");
    ChatTranscript transcript;
    FieldReader top{json, "", std::nullopt};
    top.read("title", transcript.title);
    top.read("exportedAt", transcript.exportedAt);
    top.read("completeness", transcript.completeness);
    top.read("note", transcript.note);
    const Json* messages = top.member("messages", &Json::is_array, "списком");
    if (top.failure)
        return *top.failure;
    transcript.messages.reserve(messages->size());
    std::size_t number = 0;
    for (const auto& item : *messages) {
        const std::string where = " сообщения " + std::to_string(++number);
        if (!item.is_object())
            return Error{kDecodingErrorDomain, kWrongTypeCode,
                         "Сообщение " + std::to_string(number) + " должно быть объектом JSON."};
        Message message;
        FieldReader reader{item, where, std::nullopt};
        reader.read("text", message.text);
        reader.read("author", message.author);
        reader.read("direction", message.direction);
        reader.read("dateLabel", message.dateLabel);
        reader.read("timeLabel", message.timeLabel);
        reader.read("hasMedia", message.hasMedia);
        if (reader.failure)
            return *reader.failure;
        transcript.messages.push_back(std::move(message));
    }
    return transcript;
}

namespace {

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80           ? 1
                             : (byte >> 5) == 0x6  ? 2
                             : (byte >> 4) == 0xE  ? 3
                             : (byte >> 3) == 0x1E ? 4
                                                   : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t code = length == 1 ? byte : byte & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < minimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// Standard JSON string escaping, with "/" and every non-ASCII character written as is.
bool appendJsonString(std::string& out, std::string_view text) {
    if (!isValidUtf8(text))
        return false;
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(text.substr(start, i - start));
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\f':
            out.append("\\f");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            out.append("\\u00");
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        }
        start = i + 1;
    }
    out.append(text.substr(start));
    out.push_back('"');
    return true;
}

} // namespace

Result<std::string> ChatTranscript::jsonText() const {
    // Written by hand rather than through a JSON tree: a long transcript would otherwise
    // hold several times its file size in memory. The members are listed in sorted order.
    std::string out;
    std::size_t estimate = 256 + title.size() + note.size() + completeness.size();
    for (const auto& m : messages)
        estimate += 190 + m.text.size() + m.author.size() + m.direction.size() + m.dateLabel.size() +
                    m.timeLabel.size();
    out.reserve(estimate);
    bool valid = true;
    auto member = [&](const char* indent, const char* key, const std::string& value, bool last) {
        out.append(indent).append("\"").append(key).append("\": ");
        valid = appendJsonString(out, value) && valid;
        out.append(last ? "\n" : ",\n");
    };
    out.append("{\n");
    member("  ", "completeness", completeness, false);
    member("  ", "exportedAt", exportedAt, false);
    if (messages.empty()) {
        out.append("  \"messages\": [],\n");
    } else {
        out.append("  \"messages\": [\n");
        for (std::size_t i = 0; i < messages.size(); ++i) {
            const auto& m = messages[i];
            out.append("    {\n");
            member("      ", "author", m.author, false);
            member("      ", "dateLabel", m.dateLabel, false);
            member("      ", "direction", m.direction, false);
            out.append("      \"hasMedia\": ").append(m.hasMedia ? "true" : "false").append(",\n");
            member("      ", "text", m.text, false);
            member("      ", "timeLabel", m.timeLabel, true);
            out.append(i + 1 < messages.size() ? "    },\n" : "    }\n");
        }
        out.append("  ],\n");
    }
    member("  ", "note", note, false);
    member("  ", "title", title, true);
    out.append("}");
    if (!valid)
        return Error{"ChatTranscript", 4, "Не удалось записать JSON: текст переписки не в UTF-8."};
    return out;
}

Result<std::string> ChatTranscript::data(TranscriptFormat format) const {
    if (format == TranscriptFormat::json)
        return jsonText();
    return htmlPage();
}

void appendEscapedHtml(std::string& out, std::string_view text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* entity = nullptr;
        switch (text[i]) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        case '\'':
            entity = "&#39;";
            break;
        default:
            continue;
        }
        out.append(text.substr(start, i - start));
        out.append(entity);
        start = i + 1;
    }
    out.append(text.substr(start));
}

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendEscapedHtml(out, text);
    return out;
}

} // namespace orvi
