#pragma once

#include <map>
#include <string>
#include <string_view>

namespace orvi {

// Fills "{{name}}" markers of a script text in one pass, so an inserted value that happens
// to contain a marker is never expanded again. A marker without a value is kept as it is.
std::string fillScriptTemplate(std::string_view text,
                               const std::map<std::string, std::string, std::less<>>& values);

} // namespace orvi
