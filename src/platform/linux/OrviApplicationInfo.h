#pragma once

#include "platform/ApplicationInfo.h"

namespace orvi::platform {

inline constexpr const char* kApplicationId = "com.orviwrapper.OrviWrapper";
inline constexpr const char* kApplicationName = "OrviWrapper";

// The application's compiled-in information table.
const ApplicationInfo& orviApplicationInfo();

} // namespace orvi::platform
