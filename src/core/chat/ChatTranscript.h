#pragma once

#include "core/base/Json.h"
#include "core/base/Result.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvi {

enum class TranscriptFormat { html, json };

// One exported conversation as the messenger's page showed it. Every field is display text
// taken verbatim; only `direction` is ever interpreted, and only when rendering.
struct ChatTranscript {
    struct Message {
        std::string text;
        std::string author;
        // "outgoing" for the user's own messages; any other value is incoming.
        std::string direction;
        std::string dateLabel;
        std::string timeLabel;
        bool hasMedia = false;

        bool isOutgoing() const { return direction == "outgoing"; }
        bool operator==(const Message&) const = default;
    };

    std::string title;
    std::string exportedAt;
    std::string completeness;
    std::string note;
    std::vector<Message> messages;

    bool operator==(const ChatTranscript&) const = default;

    // Strict: every key must be present with its own type (a null, a number for a string or
    // 1 for a boolean fails the whole decode); unknown keys are dropped.
    static Result<ChatTranscript> fromJsonText(std::string_view text);
    static Result<ChatTranscript> fromJson(const Json& json);

    // The bytes of the file the user saves. Only the JSON form can fail.
    Result<std::string> data(TranscriptFormat format) const;
    // Indented, keys sorted at every level, "/" left unescaped, UTF-8.
    Result<std::string> jsonText() const;
    // A self-contained page: inline stylesheet, no script, no outside resource.
    std::string htmlPage() const;
};

// Replaces & < > " ' by their entities, ampersand first so that an entity already in the
// text is shown literally.
void appendEscapedHtml(std::string& out, std::string_view text);
std::string escapeHtml(std::string_view text);

} // namespace orvi
