#pragma once

#include <string_view>

namespace orvi {

// The text of resources/js/<fileName>, compiled into the program. An unknown name is a
// programming error and throws std::logic_error.
std::string_view embeddedScript(std::string_view fileName);

} // namespace orvi
