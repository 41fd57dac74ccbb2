#pragma once

#include "core/base/Json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvi {

// What an input handed to the plain import turned out to be. Detection only reads; the
// whole input is judged before anything is written, so a damaged file changes nothing.
struct ImportInput {
    enum class Kind {
        tooLarge,     // over SessionFile::kMaxImportSize
        zipContainer, // starts with the ZIP local-file-header signature
        tooSmallEmptyArray,
        tooSmall,        // under kMinimumSize and not an empty array
        document,        // a versioned export document with usable members
        invalidDocument, // a versioned document whose "cookies" or "storage" has the wrong type
        cookieArray,     // a bare array of cookie dictionaries
        unknown,         // nothing known (a legacy keyed archive ends here too)
    };

    Kind kind = Kind::unknown;
    std::int64_t version = 0;
    // For a document: the cookie dictionaries, when the member is present.
    std::optional<Json> cookies;
    // For a document: the "storage" object, when it is a storage snapshot.
    std::optional<Json> storage;
    // For a bare array: the cookie dictionaries.
    Json array;
    // For an invalid document: which member is wrong.
    std::string problem;

    static constexpr std::size_t kMinimumSize = 10;

    static ImportInput detect(std::string_view data);

    // A parsed value that is an export document: an object whose "version" is a whole
    // number of at least 2. Earlier or odd versions are not documents.
    static std::optional<std::int64_t> documentVersion(const Json& value);

    // Splits a parsed document into its members, or tells which member is unusable.
    static ImportInput fromDocument(const Json& value, std::int64_t version);
};

// A log-safe description of the first bytes of an input: whether it reads as text and what
// it looks like, never the bytes themselves.
struct DataPreview {
    bool isText = false;
    std::string description; // "[JSON, 1834 bytes]", "[text, 12 bytes]", "[binary, 9 bytes]"

    static DataPreview of(std::string_view data);
};

bool isValidUtf8(std::string_view text);

} // namespace orvi
