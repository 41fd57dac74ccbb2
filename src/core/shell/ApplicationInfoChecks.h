#pragma once

#include "platform/ApplicationInfo.h"

namespace orvi {

// Logs, key by key, whether the application information carries what the camera,
// microphone and notification prompts need. Only logs; start-up goes on either way.
void logApplicationInfoChecks(const platform::ApplicationInfo& info);

} // namespace orvi
