#include "core/session/ContainerArchive.h"

#include "core/base/Json.h"
#include "core/base/Log.h"
#include "core/base/PrivateFiles.h"
#include "core/base/ProfileId.h"
#include "core/session/ContainerZipWriter.h"
#include "core/session/PreferenceDump.h"

#include <ctime>
#include <fstream>
#include <sstream>

namespace orvi {
namespace {

inline constexpr const char* kDumpEntry = "UserDefaults/OrviWrapper.json";
inline constexpr const char* kEngineDataEntry = "WebKit/WebKit";
inline constexpr std::size_t kMaxDumpBytes = 64 * 1024 * 1024;

Error containerError(int code) {
    switch (code) {
    case kContainerNoDocumentsFolder:
        return Error{kContainerErrorDomain, code, "Document directory not found"};
    case kContainerArchiveWriteFailed:
        return Error{kContainerErrorDomain, code, "zip command failed"};
    case kContainerArchiveReadFailed:
        return Error{kContainerErrorDomain, code, "unzip command failed"};
    case kContainerPartNotWritten:
        return Error{kContainerErrorDomain, code, "A part of the container could not be written"};
    default:
        return Error{kContainerErrorDomain, kContainerRestoreFailed, "The container could not be restored"};
    }
}

// The error the caller sees, after the line that says what exactly went wrong.
Error failWith(int code, const std::string& reason) {
    logLine("   ⚠️ " + reason);
    return containerError(code);
}

std::string ruleLine() {
    std::string line = "   ";
    for (int i = 0; i < 56; ++i)
        line += "═";
    return line;
}

std::string formatTime(std::chrono::system_clock::time_point moment, const char* format, bool utc) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm parts{};
    if (utc)
        gmtime_r(&seconds, &parts);
    else
        localtime_r(&seconds, &parts);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &parts));
}

// Removes a working folder when the call is over, whatever the outcome: it holds sessions.
struct FolderCleanup {
    std::filesystem::path folder;
    ~FolderCleanup() {
        std::error_code ignored;
        if (!folder.empty())
            std::filesystem::remove_all(folder, ignored);
    }
};

Result<std::filesystem::path> runExport(const PreferencesStore& preferences,
                                        const ContainerEnvironment& environment,
                                        std::chrono::system_clock::time_point now) {
    FolderCleanup work{environment.tempDir / ("OrviWrapperExport_" + ProfileId::generate().text())};
    if (auto made = makePrivateFolder(work.folder); !made)
        return failWith(kContainerPartNotWritten, made.error().message);
    logLine("   📁 Created temp directory: " + work.folder.string());

    const std::string dump = toJsonText(PreferenceDump::collect(preferences));

    std::error_code error;
    if (environment.documentsDir.empty() || !std::filesystem::is_directory(environment.documentsDir, error))
        return containerError(kContainerNoDocumentsFolder);
    const auto destination = environment.documentsDir / ContainerArchive::archiveName(now);
    auto writer = ContainerZipWriter::create(destination);
    if (!writer)
        return failWith(kContainerArchiveWriteFailed, writer.error().message);
    auto& zip = *writer.value();

    if (auto added = zip.addFolder("UserDefaults"); !added)
        return failWith(kContainerPartNotWritten, added.error().message);
    if (auto added = zip.addBytes(kDumpEntry, dump); !added)
        return failWith(kContainerPartNotWritten, added.error().message);
    logLine("   ✅ Saved UserDefaults data");

    if (auto added = zip.addFolder("WebKit"); !added)
        return failWith(kContainerPartNotWritten, added.error().message);
    if (std::filesystem::is_directory(environment.engineDataDir, error)) {
        if (auto added = zip.addTree(kEngineDataEntry, environment.engineDataDir, work.folder); !added)
            return failWith(kContainerPartNotWritten, added.error().message);
        logLine("   ✅ Copied WebKit data from " + environment.engineDataDir.string());
    }

    const Json info = {
        {"appName", "OrviWrapper"},
        {"exportDate", formatTime(now, "%Y-%m-%d %H:%M:%S", false)},
        {"version", "1.0"},
        {"platform", "Linux"},
        {"note", "Full container export including HttpOnly cookies stored in WebKit"},
    };
    if (auto added = zip.addBytes("info.json", toPrettyJsonText(info)); !added)
        return failWith(kContainerPartNotWritten, added.error().message);
    if (auto committed = zip.commit(); !committed)
        return failWith(kContainerArchiveWriteFailed, committed.error().message);
    return destination;
}

std::optional<Json> readDump(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > kMaxDumpBytes)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return parseJson(text.str());
}

// Puts the unpacked engine folder in place of the current one with two renames, so the
// current folder is never gone while the new one is not there.
Result<std::monostate> swapEngineFolder(const std::filesystem::path& incoming,
                                        const std::filesystem::path& current, const std::string& tag) {
    std::error_code error;
    const auto replaced = current.parent_path() / (current.filename().string() + ".replaced-" + tag);
    const bool hadCurrent = std::filesystem::exists(std::filesystem::symlink_status(current, error));
    if (hadCurrent) {
        std::filesystem::rename(current, replaced, error);
        if (error)
            return failWith(kContainerRestoreFailed,
                            "Cannot move " + current.string() + " aside: " + error.message());
    }
    std::filesystem::rename(incoming, current, error);
    if (error) {
        const auto reason = error.message();
        if (hadCurrent)
            std::filesystem::rename(replaced, current, error);
        return failWith(kContainerRestoreFailed, "Cannot put the imported data in place: " + reason);
    }
    if (hadCurrent) {
        std::filesystem::remove_all(replaced, error);
        if (error)
            logLine("   ⚠️ Could not remove the replaced engine data at " + replaced.string() + ": " +
                    error.message());
    }
    return std::monostate{};
}

Result<std::monostate> runImport(PreferencesStore& preferences, const ContainerEnvironment& environment,
                                 const std::filesystem::path& archive) {
    const auto tag = ProfileId::generate().text();
    FolderCleanup work{environment.tempDir / ("OrviWrapperImport_" + tag)};
    // The engine data is unpacked beside its final place so that it can be renamed in.
    FolderCleanup incoming{environment.engineDataDir.parent_path() /
                           (environment.engineDataDir.filename().string() + ".import-" + tag)};
    if (auto made = makePrivateFolder(work.folder); !made)
        return failWith(kContainerRestoreFailed, made.error().message);
    if (auto made = makePrivateFolder(incoming.folder); !made)
        return failWith(kContainerRestoreFailed, made.error().message);

    auto extracted = SafeZipExtractor::extract(archive, work.folder, {{kEngineDataEntry, incoming.folder}},
                                               environment.limits);
    if (!extracted)
        return failWith(kContainerArchiveReadFailed, extracted.error().message);
    logLine("   ✅ Extracted container archive");

    std::error_code error;
    if (std::filesystem::exists(work.folder / "info.json", error))
        logLine("   ✅ Found info.json - valid OrviWrapper container");

    std::vector<PreferenceDump::Entry> entries;
    if (auto dump = readDump(work.folder / kDumpEntry); dump && dump->is_object()) {
        std::vector<std::string> ignored;
        entries = PreferenceDump::decode(*dump, ignored);
        for (const auto& key : ignored)
            logLine("   ⚠️ Ignored \"" + key + "\" in the preference dump: not a container setting");
    }
    if (std::filesystem::exists(work.folder / "WebKit" / "Cookies", error))
        logLine("   ⚠️ Skipped WebKit/Cookies: another engine's cookie files, unreadable here");

    if (extracted.value().routedEntries > 0) {
        if (auto swapped = swapEngineFolder(incoming.folder, environment.engineDataDir, tag); !swapped)
            return swapped;
        logLine("   ✅ Restored WebKit data to " + environment.engineDataDir.string());
    }
    if (!entries.empty()) {
        if (!PreferenceDump::apply(preferences, entries))
            return failWith(kContainerRestoreFailed,
                            "Some preferences of the container could not be written");
        logLine("   ✅ Restored UserDefaults");
    }
    return std::monostate{};
}

} // namespace

ContainerArchive::ContainerArchive(PreferencesStore& preferences, Scheduler& scheduler,
                                   platform::Clipboard& clipboard, ContainerEnvironment environment)
    : m_preferences(preferences), m_scheduler(scheduler), m_clipboard(clipboard),
      m_environment(std::move(environment)), m_lifetime(std::make_shared<ContainerArchive*>(this)) {}

ContainerArchive::~ContainerArchive() = default;

std::string ContainerArchive::archiveName(std::chrono::system_clock::time_point moment) {
    return "orvi_container_" + formatTime(moment, "%Y-%m-%dT%H-%M-%SZ", true) + ".zip";
}

void ContainerArchive::exportContainer(std::function<void(std::optional<std::filesystem::path>)> completion) {
    logLine("📦 Starting full container export...");
    std::weak_ptr<ContainerArchive*> lifetime = m_lifetime;
    m_scheduler.runInBackground<Result<std::filesystem::path>>(
        [&preferences = m_preferences, environment = m_environment, now = m_environment.wallClock()] {
            auto result = runExport(preferences, environment, now);
            if (!result)
                logLine("   ❌ Container export failed: " + result.error().message);
            return result;
        },
        [lifetime, completion = std::move(completion)](Result<std::filesystem::path> result) {
            if (!result) {
                completion(std::nullopt);
                return;
            }
            const auto& path = result.value();
            logLine(ruleLine());
            logLine("   ✅ КОНТЕЙНЕР ЭКСПОРТИРОВАН: " + path.string());
            logLine("   💡 Перенесите этот файл на другое устройство");
            logLine("   💡 Путь скопирован в буфер обмена");
            logLine(ruleLine());
            if (auto self = lifetime.lock())
                (*self)->m_clipboard.setText(path.string());
            completion(path);
        });
}

void ContainerArchive::importContainer(const std::filesystem::path& archive,
                                       std::function<void(Result<std::monostate>)> completion) {
    logLine("📦 Starting container import from: " + archive.string());
    m_scheduler.runInBackground<Result<std::monostate>>(
        [&preferences = m_preferences, environment = m_environment, archive] {
            auto result = runImport(preferences, environment, archive);
            if (!result)
                logLine("   ❌ Container import failed: " + result.error().message);
            return result;
        },
        [completion = std::move(completion)](Result<std::monostate> result) {
            if (result) {
                logLine(ruleLine());
                logLine("   ✅ КОНТЕЙНЕР ИМПОРТИРОВАН");
                logLine("   💡 Перезапустите приложение для применения изменений");
                logLine("   ⚠️ Важно: Сессия восстановлена, но для полной "
                        "работы");
                logLine("      может потребоваться ввести пароль входа");
                logLine(ruleLine());
            }
            completion(std::move(result));
        });
}

} // namespace orvi
