#pragma once

#include <filesystem>

namespace orvi::platform {

// The per-user folders the application writes to. The Linux values come from the XDG
// variables (src/platform/linux); tests point them at temporary folders.
struct Paths {
    std::filesystem::path configDir;    // $XDG_CONFIG_HOME/orvi-wrapper
    std::filesystem::path dataDir;      // $XDG_DATA_HOME/orvi-wrapper
    std::filesystem::path cacheDir;     // $XDG_CACHE_HOME/orvi-wrapper
    std::filesystem::path documentsDir; // XDG documents folder, else $HOME
    std::filesystem::path downloadsDir; // XDG download folder, else $HOME
    std::filesystem::path tempDir;      // $TMPDIR, else /tmp

    std::filesystem::path preferencesFile() const { return configDir / "preferences.sqlite3"; }
    std::filesystem::path engineDataDir() const { return dataDir / "webkit"; }
    std::filesystem::path engineCacheDir() const { return cacheDir / "webkit"; }
};

} // namespace orvi::platform
