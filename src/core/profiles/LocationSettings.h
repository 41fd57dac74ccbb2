#pragma once

#include "core/base/Json.h"
#include "core/base/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace orvi {

// Where a profile presents itself to the page: time zone, language and, optionally, a position.
struct LocationSettings {
    std::string timezone;
    std::string locale;
    std::string cityName;
    std::optional<double> latitude;
    std::optional<double> longitude;

    bool operator==(const LocationSettings&) const = default;

    // Both coordinates present and within the globe's bounds (inclusive).
    bool hasCustomCoordinates() const;

    // NaN and infinite coordinates cannot be written as JSON; wherever a value enters the
    // system it passes through here so that a stored list always encodes.
    LocationSettings withFiniteCoordinates() const;

    static const LocationSettings& defaultLocation();
    static const std::vector<LocationSettings>& presets();

    // Loose reading used by recovery: the three texts are required, coordinates are taken
    // only when they are finite numbers.
    static std::optional<LocationSettings> from(const Json& dict);

    // Strict reading: the three texts are required, coordinates must be numbers when
    // present (null counts as absent). Any other shape fails.
    static Result<LocationSettings> fromJson(const Json& json);
    Json toJson() const;
};

} // namespace orvi

template <> struct std::hash<orvi::LocationSettings> {
    std::size_t operator()(const orvi::LocationSettings& l) const noexcept {
        std::size_t h = std::hash<std::string>()(l.timezone);
        h = h * 31 + std::hash<std::string>()(l.locale);
        h = h * 31 + std::hash<std::string>()(l.cityName);
        h = h * 31 + (l.latitude ? std::hash<double>()(*l.latitude) : 1);
        h = h * 31 + (l.longitude ? std::hash<double>()(*l.longitude) : 1);
        return h;
    }
};
