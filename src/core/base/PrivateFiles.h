#pragma once

#include "core/base/Result.h"

#include <filesystem>
#include <string>

namespace orvi {

// Creates the folder (and any missing parent) and sets it to 0700, whatever the umask. An
// existing folder is tightened too: it holds sessions.
Result<std::filesystem::path> makePrivateFolder(const std::filesystem::path& folder);

// Creates the file empty when it is missing and sets it to 0600, whatever the umask.
Result<std::filesystem::path> makePrivateFile(const std::filesystem::path& file);

// Sets the SQLite companions of `file` ("-wal", "-shm", "-journal") that exist to 0600.
void tightenCompanionFiles(const std::filesystem::path& file);

// Renames `from` to `to` unless `to` exists (false with errno EEXIST then). Atomic where the
// file system supports it.
bool renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Flushes the folder holding `file`, so that a rename or creation in it survives a crash.
void syncFolderOf(const std::filesystem::path& file);

// Renames `file` to its name plus `suffix` (plus "-2", "-3"... when taken), with its SQLite
// companions alongside, and returns the new path. A missing file is not an error.
Result<std::filesystem::path> moveAside(const std::filesystem::path& file, const std::string& suffix);

} // namespace orvi
