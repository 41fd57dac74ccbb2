#pragma once

#include "core/base/Result.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace orvi {

// Files that hold a session: written whole or not at all, readable by the user only.
class SessionFile {
public:
    // Larger inputs are refused before they are read: no export of one profile's session
    // comes near it, and reading a huge file whole would only exhaust memory.
    static constexpr std::size_t kMaxImportSize = 64 * 1024 * 1024;

    // Writes the bytes to a new file in the same folder, mode 0600 whatever the umask, and
    // renames it to the first free name among `stem + extension`, `stem + "_2" + extension`,
    // ... so an earlier export is never overwritten and a crash never leaves half a file.
    // Returns the path written.
    static Result<std::filesystem::path> writeNew(const std::filesystem::path& folder,
                                                  const std::string& stem, const std::string& extension,
                                                  std::string_view bytes);

    // Creates the folder (and missing parents) with mode 0700 when it does not exist; an
    // existing folder keeps its mode.
    static Result<bool> ensureFolder(const std::filesystem::path& folder);

    // Reads a regular file of at most maxSize bytes.
    static Result<std::string> read(const std::filesystem::path& path, std::size_t maxSize = kMaxImportSize);
};

} // namespace orvi
