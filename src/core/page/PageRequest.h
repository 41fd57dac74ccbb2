#pragma once

#include "core/profiles/LocationSettings.h"
#include "engine/EngineTypes.h"

#include <string>
#include <string_view>

namespace orvi {

// The first request of a page load carries a hand-built header set that presents the
// profile's language and time zone.
struct PageRequest {
    static constexpr double kBuildTimeout = 60.0;
    static constexpr double kSendTimeout = 30.0;
    static constexpr double kRetryTimeout = 20.0;

    // "ru_RU" gives "ru-RU,ru;q=0.9,en-US;q=0.8,en;q=0.7"; a missing language is "ru" and a
    // missing region "RU".
    static std::string acceptLanguage(std::string_view locale);
    // The ten headers, in the order they are sent.
    static engine::Headers headers(const std::string& userAgent, const LocationSettings& location);
    static engine::Request make(const std::string& url, const std::string& userAgent,
                                const LocationSettings& location);

    static const char* testPageHTML();
    static const char* fallbackPageHTML();
};

} // namespace orvi
