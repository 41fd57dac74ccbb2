#pragma once

#include "core/base/Json.h"
#include "core/base/ProfileId.h"
#include "core/base/Result.h"
#include "core/profiles/LocationSettings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvi {

enum class StorageType { persistentMain, ephemeral };

std::string_view rawValue(StorageType type);
std::optional<StorageType> storageTypeFromRaw(std::string_view raw);

// One account of the messenger. A plain value: equal when every field is equal. The
// aggregate takes all eight fields in order, with no defaults, like the stored form.
struct Profile {
    ProfileId id;
    std::string name;
    bool desktopMode;
    StorageType storageType;
    bool isLocked;
    LocationSettings locationSettings;
    bool callsEnabled;
    bool showCallsAvailability;

    bool operator==(const Profile&) const = default;

    // A fresh identifier, "Основной", persistent, the default location, calls on.
    static Profile makeDefault();

    // Strict reading: "id" and "name" are required; other members fall back to their
    // defaults when absent or null, and fail the read when present with another type.
    static Result<Profile> fromJson(const Json& json);
    // Always all eight members; non-finite coordinates are left out.
    Json toJson() const;
};

// The stored list: a JSON array of profile objects. Decoding fails as a whole when any
// element fails.
Result<std::vector<Profile>> decodeProfiles(std::string_view jsonText);
std::string encodeProfiles(const std::vector<Profile>& profiles);

// Builds what can be saved from a damaged list: objects whose "id" or "name" is unusable
// are dropped, every other member falls back to its default. No value when the text is not
// JSON or its top level is not an array of objects.
std::optional<std::vector<Profile>> recoverProfiles(std::string_view jsonText);

} // namespace orvi
