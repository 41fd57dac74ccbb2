#include "core/session/ImportFormat.h"

#include "core/session/CookieDictionary.h"
#include "core/session/SessionFile.h"
#include "core/session/StorageSnapshot.h"

#include <cmath>
#include <limits>

namespace orvi {
namespace {

constexpr std::size_t kPreviewSize = 100;

bool isNull(const Json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() || it->is_null();
}

} // namespace

std::optional<std::int64_t> ImportInput::documentVersion(const Json& value) {
    if (!value.is_object())
        return std::nullopt;
    auto it = value.find("version");
    if (it == value.end() || !it->is_number())
        return std::nullopt;
    if (it->is_number_unsigned())
        return it->get<std::uint64_t>() >= 2 &&
                       it->get<std::uint64_t>() <= std::numeric_limits<std::int64_t>::max()
                   ? std::optional<std::int64_t>(static_cast<std::int64_t>(it->get<std::uint64_t>()))
                   : std::nullopt;
    if (it->is_number_integer())
        return it->get<std::int64_t>() >= 2 ? std::optional<std::int64_t>(it->get<std::int64_t>())
                                            : std::nullopt;
    const double number = it->get<double>();
    if (!std::isfinite(number) || std::trunc(number) != number || number < 2 || number > 9.0e15)
        return std::nullopt;
    return static_cast<std::int64_t>(number);
}

ImportInput ImportInput::fromDocument(const Json& value, std::int64_t version) {
    ImportInput input;
    input.version = version;
    if (!isNull(value, "cookies")) {
        const auto& cookies = value.at("cookies");
        if (!cookies::isArrayOfObjects(cookies)) {
            input.kind = Kind::invalidDocument;
            input.problem = "\"cookies\" is not an array of cookie dictionaries";
            return input;
        }
        input.cookies = cookies;
    }
    if (!isNull(value, "storage")) {
        const auto& storage = value.at("storage");
        if (!StorageSnapshot::fromJson(storage)) {
            input.kind = Kind::invalidDocument;
            input.problem = "\"storage\" is not a storage snapshot";
            return input;
        }
        input.storage = storage;
    }
    input.kind = Kind::document;
    return input;
}

ImportInput ImportInput::detect(std::string_view data) {
    ImportInput input;
    if (data.size() > SessionFile::kMaxImportSize) {
        input.kind = Kind::tooLarge;
        return input;
    }
    if (data.size() >= 4 && data.substr(0, 4) == std::string_view("PK\x03\x04", 4)) {
        input.kind = Kind::zipContainer;
        return input;
    }
    const auto parsed = parseJson(data);
    if (data.size() < kMinimumSize) {
        input.kind =
            parsed && parsed->is_array() && parsed->empty() ? Kind::tooSmallEmptyArray : Kind::tooSmall;
        return input;
    }
    if (!parsed) {
        input.kind = Kind::unknown;
        return input;
    }
    if (auto version = documentVersion(*parsed))
        return fromDocument(*parsed, *version);
    if (cookies::isArrayOfObjects(*parsed)) {
        input.kind = Kind::cookieArray;
        input.array = *parsed;
        return input;
    }
    input.kind = Kind::unknown;
    return input;
}

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const bool overlong =
            (length == 2 && code < 0x80) || (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

DataPreview DataPreview::of(std::string_view data) {
    const auto head = data.substr(0, kPreviewSize);
    DataPreview preview;
    preview.isText = isValidUtf8(head);
    std::string kind = "binary";
    if (preview.isText) {
        kind = "text";
        const auto first = head.find_first_not_of(" \t\r\n");
        if (first != std::string_view::npos && (head[first] == '{' || head[first] == '['))
            kind = "JSON";
    }
    preview.description = "[" + kind + ", " + std::to_string(data.size()) + " bytes]";
    return preview;
}

} // namespace orvi
