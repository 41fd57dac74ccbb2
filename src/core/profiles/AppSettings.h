#pragma once

#include "core/base/Json.h"
#include "core/base/Result.h"
#include "core/profiles/LocationSettings.h"

namespace orvi {

// The application-wide settings as one record. The live values are kept key by key in the
// preferences; this form exists for whole-record encoding, which has no defaults.
struct AppSettings {
    bool blockExternalLinks;
    bool notificationsEnabled;
    LocationSettings locationSettings;
    bool ignoreVPNWarning;

    bool operator==(const AppSettings&) const = default;

    // All four members are required and must have their type.
    static Result<AppSettings> fromJson(const Json& json);
    Json toJson() const;
};

} // namespace orvi
