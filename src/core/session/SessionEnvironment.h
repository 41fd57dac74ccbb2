#pragma once

#include "core/web/policy/OrviDomains.h"

#include <chrono>
#include <filesystem>
#include <functional>

namespace orvi {

// What session export needs from its surroundings besides the store and the envelope.
struct SessionEnvironment {
    // Where file exports go; empty when the user has no documents folder.
    std::filesystem::path documentsDir;
    // The service's hosts. Storage is captured from pages on its web host only.
    OrviDomains domains;
    // The wall clock, for the export's date stamp and file name.
    std::function<std::chrono::system_clock::time_point()> wallClock = [] {
        return std::chrono::system_clock::now();
    };
};

} // namespace orvi
