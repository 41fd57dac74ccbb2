#include "core/web/scripts/JavaScriptLiteral.h"

#include <charconv>
#include <cmath>

namespace orvi {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

void appendUnicodeEscape(std::string& out, char32_t codePoint) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(kHex[(codePoint >> shift) & 0xF]);
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one code point at text[i], advancing i; a malformed, overlong or surrogate
// sequence consumes its first byte and yields U+FFFD.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++i;
        return kReplacementCharacter;
    }
    if (i + static_cast<std::size_t>(length) > text.size()) {
        ++i;
        return kReplacementCharacter;
    }
    for (int k = 1; k < length; ++k) {
        const unsigned char continuation = byte(i + static_cast<std::size_t>(k));
        if ((continuation & 0xC0) != 0x80) {
            ++i;
            return kReplacementCharacter;
        }
        codePoint = (codePoint << 6) | (continuation & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        ++i;
        return kReplacementCharacter;
    }
    i += static_cast<std::size_t>(length);
    return codePoint;
}

} // namespace

std::string javaScriptStringLiteral(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    out.push_back('"');
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = nextCodePoint(utf8, i);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\'':
        case '<':
        case '>':
        case '&':
        case 0x7F:
        case 0x2028:
        case 0x2029:
            appendUnicodeEscape(out, c);
            break;
        default:
            if (c < 0x20)
                appendUnicodeEscape(out, c);
            else
                appendUtf8(out, c);
        }
    }
    out.push_back('"');
    return out;
}

std::string javaScriptNumberLiteral(std::optional<double> value) {
    if (!value || !std::isfinite(*value))
        return "null";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, *value);
    return std::string(buffer, result.ptr);
}

std::string javaScriptJsonExpression(const Json& value) {
    // Serialising with every non-ASCII character escaped keeps U+2028/2029 and invalid bytes
    // out; the JSON text then travels as a string literal into JSON.parse, which (unlike an
    // object literal) keeps "__proto__" as an ordinary member.
    const std::string text = value.dump(-1, ' ', true, Json::error_handler_t::replace);
    return "JSON.parse(" + javaScriptStringLiteral(text) + ")";
}

} // namespace orvi
