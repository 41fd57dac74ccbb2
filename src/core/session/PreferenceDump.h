#pragma once

#include "core/base/Json.h"
#include "core/prefs/PreferencesStore.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace orvi {

// The container's copy of the application's main preference entries: a JSON object of the
// container keys that have a value. Binary values travel as {"$data": base64} so that they
// come back as the same bytes; every other kind maps to its JSON counterpart.
class PreferenceDump {
public:
    struct Data {
        std::string bytes;
        bool operator==(const Data&) const = default;
    };
    using Value = std::variant<Data, std::string, bool, double, std::int64_t>;
    struct Entry {
        std::string key;
        Value value;
        bool operator==(const Entry&) const = default;
    };

    static Json collect(const PreferencesStore& store);

    // The container keys of `dump` whose value has a known form, in the container's key order.
    // Members that are not container keys, or whose value has no known form, land in
    // `ignored` and are never written.
    static std::vector<Entry> decode(const Json& dump, std::vector<std::string>& ignored);

    // Writes every entry; false when any write failed.
    static bool apply(PreferencesStore& store, const std::vector<Entry>& entries);

    static std::string toBase64(std::string_view bytes);
    static std::optional<std::string> fromBase64(std::string_view text);
};

} // namespace orvi
