#include "core/profiles/AppSettings.h"

namespace orvi {
namespace {

Error decodeError(const std::string& message) {
    return Error{"AppSettings", 1, message};
}

} // namespace

Result<AppSettings> AppSettings::fromJson(const Json& json) {
    if (!json.is_object())
        return decodeError("settings are not an object");
    auto blockExternalLinks = boolMember(json, "blockExternalLinks");
    auto notificationsEnabled = boolMember(json, "notificationsEnabled");
    auto ignoreVPNWarning = boolMember(json, "ignoreVPNWarning");
    if (!blockExternalLinks || !notificationsEnabled || !ignoreVPNWarning)
        return decodeError("a Boolean member is missing or not a Boolean");
    auto it = json.find("locationSettings");
    if (it == json.end())
        return decodeError("member \"locationSettings\" is missing");
    auto location = LocationSettings::fromJson(*it);
    if (!location)
        return decodeError("member \"locationSettings\": " + location.error().message);
    return AppSettings{*blockExternalLinks, *notificationsEnabled, location.value(), *ignoreVPNWarning};
}

Json AppSettings::toJson() const {
    Json json = Json::object();
    json["blockExternalLinks"] = blockExternalLinks;
    json["notificationsEnabled"] = notificationsEnabled;
    json["locationSettings"] = locationSettings.toJson();
    json["ignoreVPNWarning"] = ignoreVPNWarning;
    return json;
}

} // namespace orvi
