#include "core/web/scripts/EmbeddedScripts.h"
#include "core/web/scripts/JavaScriptLiteral.h"
#include "core/web/scripts/OrviUserScripts.h"
#include "core/web/scripts/ScriptTemplate.h"

#include <cmath>

namespace orvi {

std::string OrviUserScripts::webViewMaskingScript(const std::string& profileId,
                                                  const LocationSettings& locationSettings) {
    // A coordinate that is not a finite number is no coordinate at all: it must neither reach
    // the page as NaN nor count towards the custom position.
    const auto finite = [](const std::optional<double>& value) {
        return value && std::isfinite(*value) ? value : std::nullopt;
    };
    const auto latitude = finite(locationSettings.latitude);
    const auto longitude = finite(locationSettings.longitude);
    const bool hasCustomCoordinates = latitude && longitude && locationSettings.hasCustomCoordinates();

    return fillScriptTemplate(embeddedScript("Masking.js"),
                              {
                                  {"profileId", javaScriptStringLiteral(profileId)},
                                  {"timezone", javaScriptStringLiteral(locationSettings.timezone)},
                                  {"locale", javaScriptStringLiteral(locationSettings.locale)},
                                  {"cityName", javaScriptStringLiteral(locationSettings.cityName)},
                                  {"latitude", javaScriptNumberLiteral(latitude)},
                                  {"longitude", javaScriptNumberLiteral(longitude)},
                                  {"hasCustomCoordinates", hasCustomCoordinates ? "true" : "false"},
                              });
}

} // namespace orvi
