#include "core/profiles/Profile.h"

#include <algorithm>

namespace orvi {
namespace {

constexpr std::string_view kDefaultProfileName = "Основной";

Error decodeError(const std::string& message) {
    return Error{"Profile", 1, message};
}

// A Boolean member of the strict form: absent or null takes the default.
Result<bool> readBool(const Json& json, std::string_view key, bool fallback) {
    if (hasMemberOfOtherType(json, key, Json::value_t::boolean))
        return decodeError("member \"" + std::string(key) + "\" is not a Boolean");
    return boolMember(json, key).value_or(fallback);
}

bool memberIsPresent(const Json& json, std::string_view key) {
    auto it = json.find(key);
    return it != json.end() && !it->is_null();
}

} // namespace

std::string_view rawValue(StorageType type) {
    return type == StorageType::persistentMain ? "persistentMain" : "ephemeral";
}

std::optional<StorageType> storageTypeFromRaw(std::string_view raw) {
    if (raw == "persistentMain")
        return StorageType::persistentMain;
    if (raw == "ephemeral")
        return StorageType::ephemeral;
    return std::nullopt;
}

Profile Profile::makeDefault() {
    return Profile{ProfileId::generate(),
                   std::string(kDefaultProfileName),
                   false,
                   StorageType::persistentMain,
                   false,
                   LocationSettings::defaultLocation(),
                   true,
                   true};
}

Result<Profile> Profile::fromJson(const Json& json) {
    if (!json.is_object())
        return decodeError("profile is not an object");
    auto idText = stringMember(json, "id");
    if (!idText)
        return decodeError("member \"id\" is missing or not a text");
    auto id = ProfileId::parse(*idText);
    if (!id)
        return decodeError("member \"id\" is not a UUID: \"" + *idText + "\"");
    auto name = stringMember(json, "name");
    if (!name)
        return decodeError("member \"name\" is missing or not a text");

    auto desktopMode = readBool(json, "desktopMode", false);
    auto isLocked = readBool(json, "isLocked", false);
    auto callsEnabled = readBool(json, "callsEnabled", true);
    auto showCallsAvailability = readBool(json, "showCallsAvailability", true);
    for (const auto* flag : {&desktopMode, &isLocked, &callsEnabled, &showCallsAvailability})
        if (!*flag)
            return flag->error();

    StorageType storageType = StorageType::ephemeral;
    if (memberIsPresent(json, "storageType")) {
        auto raw = stringMember(json, "storageType");
        if (!raw)
            return decodeError("member \"storageType\" is not a text");
        auto parsed = storageTypeFromRaw(*raw);
        if (!parsed)
            return decodeError("member \"storageType\" has unknown value \"" + *raw + "\"");
        storageType = *parsed;
    }

    LocationSettings location = LocationSettings::defaultLocation();
    if (memberIsPresent(json, "locationSettings")) {
        auto parsed = LocationSettings::fromJson(json["locationSettings"]);
        if (!parsed)
            return decodeError("member \"locationSettings\": " + parsed.error().message);
        location = parsed.value();
    }

    return Profile{*id,
                   *name,
                   desktopMode.value(),
                   storageType,
                   isLocked.value(),
                   location,
                   callsEnabled.value(),
                   showCallsAvailability.value()};
}

Json Profile::toJson() const {
    Json json = Json::object();
    json["id"] = id.text();
    json["name"] = name;
    json["desktopMode"] = desktopMode;
    json["storageType"] = std::string(rawValue(storageType));
    json["isLocked"] = isLocked;
    json["locationSettings"] = locationSettings.toJson();
    json["callsEnabled"] = callsEnabled;
    json["showCallsAvailability"] = showCallsAvailability;
    return json;
}

Result<std::vector<Profile>> decodeProfiles(std::string_view jsonText) {
    auto json = parseJson(jsonText);
    if (!json)
        return decodeError("the data is not valid JSON");
    if (!json->is_array())
        return decodeError("the top level is not an array");
    std::vector<Profile> profiles;
    profiles.reserve(json->size());
    for (std::size_t i = 0; i < json->size(); ++i) {
        auto profile = Profile::fromJson((*json)[i]);
        if (!profile)
            return decodeError("element " + std::to_string(i) + ": " + profile.error().message);
        profiles.push_back(std::move(profile).value());
    }
    return profiles;
}

std::string encodeProfiles(const std::vector<Profile>& profiles) {
    Json array = Json::array();
    for (const auto& profile : profiles)
        array.push_back(profile.toJson());
    return toJsonText(array);
}

std::optional<std::vector<Profile>> recoverProfiles(std::string_view jsonText) {
    auto json = parseJson(jsonText);
    if (!json || !json->is_array())
        return std::nullopt;

    // Element by element: one damaged record must not cost the others their logins.
    std::vector<Profile> profiles;
    for (const auto& object : *json) {
        if (!object.is_object())
            continue;
        auto idText = stringMember(object, "id");
        auto id = idText ? ProfileId::parse(*idText) : std::nullopt;
        auto name = stringMember(object, "name");
        // A second record with a known identifier would share the first one's session.
        if (!id || !name ||
            std::any_of(profiles.begin(), profiles.end(), [&](const Profile& p) { return p.id == *id; }))
            continue;
        const auto storage = stringMember(object, "storageType");
        profiles.push_back(Profile{
            *id,
            *name,
            boolMember(object, "desktopMode").value_or(false),
            storage == "persistentMain" ? StorageType::persistentMain : StorageType::ephemeral,
            boolMember(object, "isLocked").value_or(false),
            LocationSettings::from(object.contains("locationSettings") ? object["locationSettings"] : Json())
                .value_or(LocationSettings::defaultLocation()),
            boolMember(object, "callsEnabled").value_or(true),
            boolMember(object, "showCallsAvailability").value_or(true),
        });
    }
    return profiles;
}

} // namespace orvi
