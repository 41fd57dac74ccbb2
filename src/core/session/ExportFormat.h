#pragma once

#include "core/base/Json.h"

#include <chrono>
#include <string>

namespace orvi::exportformat {

inline constexpr int kDocumentVersion = 2;
inline constexpr const char* kFileNamePrefix = "orvi_cookies_";
inline constexpr const char* kFileExtension = ".json";
inline constexpr const char* kLiveStoreSource = "activeWKWebsiteDataStore";

// The indented form of the export file, laid out the way the other desktop version writes
// it, so files from either look alike: two-space indent, "key" : value, sorted keys, "\/"
// for slashes, empty containers opened and closed on their own lines, no final line break.
std::string prettyText(const Json& value);

// "orvi_cookies_2026-01-31_14-05" in local time.
std::string fileStem(std::chrono::system_clock::time_point moment);

// "2026-01-31T12:00:00Z".
std::string internetDateTime(std::chrono::system_clock::time_point moment);

} // namespace orvi::exportformat
