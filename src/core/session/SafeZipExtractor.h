#pragma once

#include "core/base/Result.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvi {

// Unpacks a ZIP archive from someone else's machine without trusting it: it refuses, and
// stops at, the first entry with an absolute name, a ".." step, a link of any kind or a
// device or pipe, a second entry of the same name, and an archive whose contents would
// grow past the byte or entry bound (counted as the data is unpacked, not as the archive
// claims). Whatever the archive records, files are made 0600 and folders 0700. What was
// unpacked before a refusal stays for the caller to remove.
class SafeZipExtractor {
public:
    struct Limits {
        std::uint64_t maxTotalBytes = 8ULL << 30;
        std::size_t maxEntries = 200000;
    };

    // Entries under `prefix` (a relative folder name in the archive) go to `folder` instead of
    // the main destination.
    struct Route {
        std::string prefix;
        std::filesystem::path folder;
    };

    struct Summary {
        std::size_t entries = 0;
        std::uint64_t bytes = 0;
        // Entries that went to a route's folder.
        std::size_t routedEntries = 0;
    };

    // Refusals carry a message saying which entry and why.
    static Result<Summary> extract(const std::filesystem::path& archive,
                                   const std::filesystem::path& destination, const std::vector<Route>& routes,
                                   const Limits& limits);
};

} // namespace orvi
