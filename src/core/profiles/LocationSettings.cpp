#include "core/profiles/LocationSettings.h"

#include <cmath>

namespace orvi {
namespace {

Error decodeError(const std::string& message) {
    return Error{"LocationSettings", 1, message};
}

std::optional<double> finite(std::optional<double> value) {
    if (value && std::isfinite(*value))
        return value;
    return std::nullopt;
}

// A coordinate member of the strict form: absent or null gives no value, a finite number
// is taken, anything else is an error.
Result<std::optional<double>> readCoordinate(const Json& json, std::string_view key) {
    if (hasMemberOfOtherType(json, key, Json::value_t::number_float))
        return decodeError("member \"" + std::string(key) + "\" is not a number");
    return std::optional<double>(finite(numberMember(json, key)));
}

} // namespace

bool LocationSettings::hasCustomCoordinates() const {
    if (!latitude || !longitude)
        return false;
    return std::fabs(*latitude) <= 90.0 && std::fabs(*longitude) <= 180.0;
}

LocationSettings LocationSettings::withFiniteCoordinates() const {
    LocationSettings copy = *this;
    copy.latitude = finite(latitude);
    copy.longitude = finite(longitude);
    return copy;
}

const LocationSettings& LocationSettings::defaultLocation() {
    static const LocationSettings value{"Asia/Yekaterinburg", "ru_RU", "Екатеринбург", std::nullopt,
                                        std::nullopt};
    return value;
}

const std::vector<LocationSettings>& LocationSettings::presets() {
    static const std::vector<LocationSettings> values = {
        {"Asia/Yekaterinburg", "ru_RU", "Екатеринбург", std::nullopt, std::nullopt},
        {"Europe/Moscow", "ru_RU", "Москва", std::nullopt, std::nullopt},
        {"Europe/Kiev", "uk_UA", "Киев", std::nullopt, std::nullopt},
        {"Europe/Minsk", "be_BY", "Минск", std::nullopt, std::nullopt},
        {"Asia/Almaty", "kk_KZ", "Алматы", std::nullopt, std::nullopt},
        {"America/New_York", "en_US", "Нью-Йорк", std::nullopt, std::nullopt},
        {"Europe/London", "en_GB", "Лондон", std::nullopt, std::nullopt},
        {"Asia/Tokyo", "ja_JP", "Токио", std::nullopt, std::nullopt},
    };
    return values;
}

std::optional<LocationSettings> LocationSettings::from(const Json& dict) {
    auto timezone = stringMember(dict, "timezone");
    auto locale = stringMember(dict, "locale");
    auto cityName = stringMember(dict, "cityName");
    if (!timezone || !locale || !cityName)
        return std::nullopt;
    return LocationSettings{*timezone, *locale, *cityName, finite(numberMember(dict, "latitude")),
                            finite(numberMember(dict, "longitude"))};
}

Result<LocationSettings> LocationSettings::fromJson(const Json& json) {
    if (!json.is_object())
        return decodeError("location is not an object");
    LocationSettings value;
    for (auto [key, field] : {std::pair{"timezone", &value.timezone}, std::pair{"locale", &value.locale},
                              std::pair{"cityName", &value.cityName}}) {
        auto text = stringMember(json, key);
        if (!text)
            return decodeError(std::string("member \"") + key + "\" is missing or not a text");
        *field = std::move(*text);
    }
    auto latitude = readCoordinate(json, "latitude");
    if (!latitude)
        return latitude.error();
    auto longitude = readCoordinate(json, "longitude");
    if (!longitude)
        return longitude.error();
    value.latitude = latitude.value();
    value.longitude = longitude.value();
    return value;
}

Json LocationSettings::toJson() const {
    Json json = Json::object();
    json["timezone"] = timezone;
    json["locale"] = locale;
    json["cityName"] = cityName;
    if (auto lat = finite(latitude))
        json["latitude"] = *lat;
    if (auto lon = finite(longitude))
        json["longitude"] = *lon;
    return json;
}

} // namespace orvi
