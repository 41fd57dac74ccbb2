#pragma once

#include "core/base/Result.h"

#include <optional>
#include <string>

namespace orvi::engine::webkit {

inline constexpr const char* kProxyVariable = "ORVI_PROXY";

// The proxy every network session sends its traffic through, from ORVI_PROXY
// ("http://host:port"), for testing and staging. Unset or empty gives none; any other
// form is an error that names the variable, so a typo never silently bypasses the proxy.
Result<std::optional<std::string>> proxyFromEnvironment();

// The same check for a given text.
Result<std::optional<std::string>> parseProxySetting(const std::string& text);

} // namespace orvi::engine::webkit
