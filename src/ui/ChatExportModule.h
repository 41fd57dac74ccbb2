#pragma once

#include <optional>
#include <string>

namespace orvi::ui {

// The page-side chat export module's script text from the resources compiled into the
// binary, or none when it is missing.
std::optional<std::string> chatExportModuleSource();

} // namespace orvi::ui
