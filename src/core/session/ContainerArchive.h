#pragma once

#include "core/base/Scheduler.h"
#include "core/prefs/PreferencesStore.h"
#include "core/session/ContainerArchiveProtocol.h"
#include "core/session/SafeZipExtractor.h"
#include "platform/Clipboard.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

namespace orvi {

inline constexpr const char* kContainerErrorDomain = "CookieManager";
inline constexpr int kContainerNoDocumentsFolder = 0;
inline constexpr int kContainerArchiveWriteFailed = 1;
inline constexpr int kContainerArchiveReadFailed = 2;
inline constexpr int kContainerPartNotWritten = 3;
inline constexpr int kContainerRestoreFailed = 4;

// Where the container's parts live on this machine.
struct ContainerEnvironment {
    // Where archives are written; empty when the user has none.
    std::filesystem::path documentsDir;
    // Holds the working folders.
    std::filesystem::path tempDir;
    // The engine's per-profile data folders, one per data store. Travels as "WebKit/WebKit".
    // The cache folder does not travel: the engine rebuilds it.
    std::filesystem::path engineDataDir;
    std::function<std::chrono::system_clock::time_point()> wallClock = [] {
        return std::chrono::system_clock::now();
    };
    SafeZipExtractor::Limits limits;
};

// The container archive: the engine's data folders and the application's main preference
// entries in one ZIP file. Exports are written to a temporary name and renamed. An import
// is unpacked and checked completely, and the engine folder is swapped in whole, before any
// preference is written: a refused or failed import leaves the folders and preferences as
// they were. Nothing of the working folders outlives a call.
class ContainerArchive final : public ContainerArchiveProtocol {
public:
    // The store and the scheduler must outlive every call in flight (the application's own).
    ContainerArchive(PreferencesStore& preferences, Scheduler& scheduler, platform::Clipboard& clipboard,
                     ContainerEnvironment environment);
    ~ContainerArchive() override;
    ContainerArchive(const ContainerArchive&) = delete;
    ContainerArchive& operator=(const ContainerArchive&) = delete;

    void exportContainer(std::function<void(std::optional<std::filesystem::path>)> completion) override;
    void importContainer(const std::filesystem::path& archive,
                         std::function<void(Result<std::monostate>)> completion) override;

    static std::string archiveName(std::chrono::system_clock::time_point moment);

private:
    PreferencesStore& m_preferences;
    Scheduler& m_scheduler;
    platform::Clipboard& m_clipboard;
    ContainerEnvironment m_environment;
    std::shared_ptr<ContainerArchive*> m_lifetime;
};

} // namespace orvi
