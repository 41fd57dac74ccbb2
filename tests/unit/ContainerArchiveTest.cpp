#include "core/session/ContainerArchive.h"

#include "core/prefs/PreferenceKeys.h"
#include "core/session/PreferenceDump.h"
#include "unit/SessionTestSupport.h"

#include <archive.h>
#include <archive_entry.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

namespace orvi::test {
namespace {

namespace fs = std::filesystem;

struct RecordingClipboard final : platform::Clipboard {
    void setText(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

struct ZipEntry {
    enum Kind { file, folder, symlink } kind = file;
    std::string name;
    std::string content;
    std::optional<la_int64_t> declaredSize;
};

void writeZip(const fs::path& path, const std::vector<ZipEntry>& entries) {
    archive* zip = archive_write_new();
    archive_write_set_format_zip(zip);
    ASSERT_EQ(archive_write_open_filename(zip, path.c_str()), ARCHIVE_OK);
    for (const auto& item : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.name.c_str());
        // Modes as a careless archiver records them: the import must not keep them.
        archive_entry_set_perm(entry, 0777);
        if (item.kind == ZipEntry::folder) {
            archive_entry_set_filetype(entry, AE_IFDIR);
        } else if (item.kind == ZipEntry::symlink) {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, item.content.c_str());
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry,
                                   item.declaredSize.value_or(static_cast<la_int64_t>(item.content.size())));
        }
        archive_write_header(zip, entry);
        if (item.kind == ZipEntry::file)
            archive_write_data(zip, item.content.data(), item.content.size());
        archive_write_finish_entry(zip);
        archive_entry_free(entry);
    }
    archive_write_close(zip);
    archive_write_free(zip);
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::map<std::string, std::string> snapshotTree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root))
        return tree;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        tree[entry.path().lexically_relative(root).string()] =
            entry.is_regular_file() ? readFile(entry.path()) : "/";
    return tree;
}

std::string cookieNames(const fs::path& database) {
    sqlite3* db = nullptr;
    std::string names;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(
        db, "SELECT group_concat(name) FROM (SELECT name FROM cookies ORDER BY name)",
        [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) = values[0] ? values[0] : "";
            return 0;
        },
        &names, nullptr);
    sqlite3_close(db);
    return names;
}

struct Machine {
    explicit Machine(ManualScheduler& scheduler) {
        environment.documentsDir = root.path() / "Documents";
        environment.tempDir = root.path() / "tmp";
        environment.engineDataDir = root.path() / "data" / "orvi-wrapper" / "webkit";
        environment.wallClock = [] {
            return std::chrono::system_clock::time_point(std::chrono::seconds(1769861109));
        };
        fs::create_directories(environment.documentsDir);
        fs::create_directories(environment.tempDir);
        rebuild(scheduler);
    }
    void rebuild(ManualScheduler& scheduler) {
        archive = std::make_unique<ContainerArchive>(prefs, scheduler, clipboard, environment);
    }
    void expectNoFolderLeftOver() const {
        EXPECT_TRUE(fs::is_empty(environment.tempDir));
        EXPECT_EQ(std::distance(fs::directory_iterator(environment.engineDataDir.parent_path()), {}), 1);
    }

    TempDir root;
    ContainerEnvironment environment;
    MemoryPreferencesStore prefs;
    RecordingClipboard clipboard;
    std::unique_ptr<ContainerArchive> archive;
};

class ContainerArchiveTest : public ::testing::Test {
protected:
    std::optional<fs::path> exportFrom(Machine& machine) {
        std::optional<fs::path> result;
        int calls = 0;
        machine.archive->exportContainer([&](std::optional<fs::path> path) {
            ++calls;
            result = path;
        });
        scheduler.runPending();
        EXPECT_EQ(calls, 1);
        return result;
    }
    std::optional<Error> importInto(Machine& machine, const fs::path& archive) {
        std::optional<Error> error;
        int calls = 0;
        machine.archive->importContainer(archive, [&](Result<std::monostate> result) {
            ++calls;
            if (!result)
                error = result.error();
        });
        scheduler.runPending();
        EXPECT_EQ(calls, 1);
        return error;
    }

    ManualScheduler scheduler;
    LogCapture log;
    const std::string binary{"\x00\xff\x01{\"a\":1}\x80", 11};
};

TEST_F(ContainerArchiveTest, EverythingArrivesOnTheOtherMachineAsItWas) {
    Machine source(scheduler);
    source.prefs.setData(keys::kProfiles, binary);
    source.prefs.setBoolean(keys::kNotificationsEnabled, false);
    source.prefs.setString(keys::kLegacyWindowSize, "{1200, 800}");
    source.prefs.setData(keys::cookies(ProfileId::generate()), "per-profile entries stay behind");

    // A cookie database in WAL mode whose newest rows are still only in its -wal file, held
    // open as the engine holds it: a plain file copy would lose them.
    const auto profileFolder = source.environment.engineDataDir / "PROFILE-A";
    fs::create_directories(profileFolder / "localstorage");
    writeFile(profileFolder / "localstorage" / "blob.bin", std::string(300000, '\x7f') + binary);
    sqlite3* live = nullptr;
    ASSERT_EQ(sqlite3_open((profileFolder / "cookies.sqlite").c_str(), &live), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(live,
                     "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; CREATE TABLE cookies(name TEXT);"
                     "INSERT INTO cookies VALUES ('session'), ('token');",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    fs::create_directories(source.environment.engineDataDir / "EMPTY-PROFILE");

    auto archive = exportFrom(source);
    sqlite3_close(live);
    ASSERT_TRUE(archive.has_value());
    EXPECT_EQ(archive->parent_path(), source.environment.documentsDir);
    EXPECT_EQ(fileMode(*archive), 0600u);
    EXPECT_EQ(source.clipboard.texts, std::vector<std::string>{archive->string()});
    EXPECT_TRUE(fs::is_empty(source.environment.tempDir));

    Machine target(scheduler);
    target.prefs.setBoolean(keys::kNotificationsEnabled, true);
    writeFile(target.environment.engineDataDir / "OLD-PROFILE" / "cookies.sqlite", "replaced");
    ASSERT_FALSE(importInto(target, *archive).has_value());

    EXPECT_EQ(target.prefs.data(keys::kProfiles), binary);
    EXPECT_TRUE(target.prefs.contains(keys::kNotificationsEnabled));
    EXPECT_FALSE(target.prefs.boolean(keys::kNotificationsEnabled));
    EXPECT_EQ(target.prefs.string(keys::kLegacyWindowSize), "{1200, 800}");

    const auto arrived = target.environment.engineDataDir / "PROFILE-A";
    EXPECT_EQ(cookieNames(arrived / "cookies.sqlite"), "session,token");
    EXPECT_EQ(readFile(arrived / "localstorage" / "blob.bin"),
              readFile(profileFolder / "localstorage" / "blob.bin"));
    EXPECT_TRUE(fs::is_directory(target.environment.engineDataDir / "EMPTY-PROFILE"));
    EXPECT_FALSE(fs::exists(target.environment.engineDataDir / "OLD-PROFILE"));
    EXPECT_EQ(fileMode(arrived / "cookies.sqlite"), 0600u);
    EXPECT_EQ(fileMode(arrived / "localstorage"), 0700u);
    EXPECT_EQ(fileMode(target.environment.engineDataDir), 0700u);
    target.expectNoFolderLeftOver();
}

TEST_F(ContainerArchiveTest, HostileArchivesAreRefusedAndChangeNothing) {
    const std::vector<ZipEntry> benignStart = {
        {ZipEntry::file, "UserDefaults/OrviWrapper.json", R"({"OrviWrapper.BlockExternalLinks": false})"},
        {ZipEntry::folder, "WebKit/WebKit/NEW-PROFILE"},
        {ZipEntry::file, "WebKit/WebKit/NEW-PROFILE/cookies.sqlite", "arriving"},
    };
    struct Case {
        const char* what;
        std::vector<ZipEntry> hostile;
        bool notAZip = false;
        std::uint64_t limit = 8ULL << 30;
    };
    const std::vector<Case> cases = {
        {"absolute name", {{ZipEntry::file, "/tmp/orvi-absolute-escape", "x"}}},
        {"parent step", {{ZipEntry::file, "WebKit/WebKit/../../../escape", "x"}}},
        {"parent step at the start", {{ZipEntry::file, "../escape", "x"}}},
        {"symbolic link out", {{ZipEntry::symlink, "WebKit/WebKit/NEW-PROFILE/link", "/etc"}}},
        {"entry claiming 10 GB", {{ZipEntry::file, "WebKit/WebKit/big", "tiny", 10LL << 30}}},
        {"contents past the bound",
         {{ZipEntry::file, "WebKit/WebKit/bomb", std::string(4 << 20, '\0')}},
         false,
         1 << 20},
        {"same name twice", {{ZipEntry::file, "WebKit/WebKit/NEW-PROFILE/cookies.sqlite", "again"}}},
        {"not a ZIP file", {}, true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        Machine machine(scheduler);
        machine.environment.limits.maxTotalBytes = testCase.limit;
        machine.rebuild(scheduler);
        machine.prefs.setBoolean(keys::kBlockExternalLinks, true);
        writeFile(machine.environment.engineDataDir / "MINE" / "cookies.sqlite", "my session");
        const auto engineBefore = snapshotTree(machine.environment.engineDataDir);
        const auto archive = machine.root.path() / "hostile.zip";
        if (testCase.notAZip) {
            writeFile(archive, "PK but not really a zip archive, just text\n");
        } else {
            auto entries = benignStart;
            entries.insert(entries.end(), testCase.hostile.begin(), testCase.hostile.end());
            writeZip(archive, entries);
        }

        auto error = importInto(machine, archive);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain, kContainerErrorDomain);
        EXPECT_EQ(error->code, kContainerArchiveReadFailed);
        EXPECT_EQ(snapshotTree(machine.environment.engineDataDir), engineBefore);
        EXPECT_TRUE(machine.prefs.boolean(keys::kBlockExternalLinks));
        machine.expectNoFolderLeftOver();
        EXPECT_FALSE(fs::exists("/tmp/orvi-absolute-escape"));
        EXPECT_FALSE(fs::exists(machine.root.path() / "escape"));
        EXPECT_FALSE(fs::exists(machine.root.path() / "data" / "escape"));
    }
}

TEST_F(ContainerArchiveTest,
       OnlyTheContainerSettingsAreRestoredAndWhatTheArchiveRecordsAsOpenArrivesPrivate) {
    Machine machine(scheduler);
    const auto archive = machine.root.path() / "foreign.zip";
    const Json dump = {
        {"OrviWrapper.IgnoreVPNWarning", true},
        {"OrviWrapper.EnableMaskingScript", true},
        {"OrviWrapper.UseTestPage", true},
        {std::string(keys::kActiveProfileId), "1"},
        {"OrviWrapper.Profiles", {{"$data", "not base64!"}}},
        {"OrviWrapper.LocationSettings", Json::array({1, 2})},
    };
    writeZip(archive, {{ZipEntry::file, "UserDefaults/OrviWrapper.json", dump.dump()}});
    ASSERT_FALSE(importInto(machine, archive).has_value());
    EXPECT_TRUE(machine.prefs.boolean(keys::kIgnoreVPNWarning));
    for (auto key : {keys::kEnableMaskingScript, keys::kUseTestPage, keys::kActiveProfileId, keys::kProfiles,
                     keys::kLocationSettings})
        EXPECT_FALSE(machine.prefs.contains(key)) << key;
    // An archive without engine data leaves the engine folder alone.
    EXPECT_FALSE(fs::exists(machine.environment.engineDataDir));

    // What an archive records as open arrives private.
    writeZip(archive, {{ZipEntry::folder, "WebKit/WebKit/P/IndexedDB"},
                       {ZipEntry::file, "WebKit/WebKit/P/IndexedDB/db.sqlite3", "data"},
                       {ZipEntry::file, "WebKit/WebKit/Q/cookies.sqlite", "made without its folder entry"}});
    ASSERT_FALSE(importInto(machine, archive).has_value());
    const auto& engine = machine.environment.engineDataDir;
    for (const auto& folder : {engine, engine / "P", engine / "P/IndexedDB", engine / "Q"})
        EXPECT_EQ(fileMode(folder), 0700u) << folder;
    for (const auto& file : {engine / "P/IndexedDB/db.sqlite3", engine / "Q/cookies.sqlite"})
        EXPECT_EQ(fileMode(file), 0600u) << file;
}

TEST_F(ContainerArchiveTest, AnExportMissingAPartFailsAndLeavesNoArchive) {
    Machine machine(scheduler);
    writeFile(machine.environment.engineDataDir / "P" / "localstorage.sqlite3",
              std::string("SQLite format 3\0", 16) + std::string(5000, '\x13'));
    EXPECT_FALSE(exportFrom(machine).has_value());
    EXPECT_TRUE(fs::is_empty(machine.environment.documentsDir));
    EXPECT_TRUE(fs::is_empty(machine.environment.tempDir));
    EXPECT_TRUE(machine.clipboard.texts.empty());

    fs::remove_all(machine.environment.engineDataDir);
    fs::remove_all(machine.environment.documentsDir);
    EXPECT_FALSE(exportFrom(machine).has_value());
}

TEST(PreferenceDumpTest, BinaryValuesComeBackAsTheSameBytes) {
    for (std::string bytes : {std::string(), std::string(1, '\0'), std::string("\xff\xfe", 2),
                              std::string("abc"), std::string("\x00\x01\x02\x03\x04", 5)}) {
        MemoryPreferencesStore from;
        from.setData(keys::kProfiles, bytes);
        const auto text = toJsonText(PreferenceDump::collect(from));
        std::vector<std::string> ignored;
        MemoryPreferencesStore to;
        ASSERT_TRUE(PreferenceDump::apply(to, PreferenceDump::decode(*parseJson(text), ignored)));
        EXPECT_EQ(to.data(keys::kProfiles), bytes);
        EXPECT_TRUE(ignored.empty());
    }
    for (auto bad : {"QQ", "QQ=A", "Q===", "QUJD*A=="})
        EXPECT_FALSE(PreferenceDump::fromBase64(bad).has_value()) << bad;
}

} // namespace
} // namespace orvi::test
