#pragma once

#include "engine/EngineTypes.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvi::downloads {

// Texts the page puts on download buttons; never a file's name.
bool isGenericLabel(std::string_view label);

// The name the server proposes: Content-Disposition's "filename*=UTF-8''" form, then its
// quoted "filename=" form, then the URL's last path component, then "download". The result
// is always a safe file name (see safeFileName).
std::string suggestedFilename(const std::optional<engine::NavigationResponse>& response,
                              const std::string& url);

// A page label accepted as the file's name: it must contain a ".", not be a generic label,
// and agree with the fallback's extension when the fallback has one.
std::optional<std::string> cleanSuggestedDisplayName(const std::optional<std::string>& label,
                                                     const std::string& fallbackFilename);

// Reduces a name from a server or a page to one harmless path component: the last component
// after any "/" or "\", control characters and NUL dropped, no leading dots that would make
// "." or ".." or a hidden file, at most 200 bytes without cutting a character (the extension
// kept), and "download" when nothing is left.
std::string safeFileName(std::string_view name);

// The extension without the dot, or empty.
std::string extensionOf(std::string_view filename);

// folder/filename when free, else name_1.ext, name_2.ext, ...
std::filesystem::path uniqueDestination(const std::filesystem::path& folder, const std::string& filename);

} // namespace orvi::downloads
