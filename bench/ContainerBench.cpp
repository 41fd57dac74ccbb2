// Moving a whole container: export and import of three profiles with 200 MB of engine data
// (made here: a cookie database per profile, web storage databases and cache-like blobs, half
// of them incompressible), in MB of engine data per second, beside a plain `tar` of the same
// folders measured in the same run.
// clang-format off
#include <vector> // the fake store below relies on it
#include "../tests/fakes/MemoryPreferencesStore.h"
// clang-format on
#include "ImmediateScheduler.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/ContainerArchive.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sqlite3.h>
#include <unistd.h>

namespace {

using namespace orvi;
namespace fs = std::filesystem;

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kProfiles = 3;
constexpr std::size_t kTotalBytes = 200 * kMiB;

using bench::ImmediateScheduler;

struct NoClipboard final : platform::Clipboard {
    void setText(const std::string&) override {}
};

void writeBlob(const fs::path& file, std::size_t bytes, bool compressible, std::mt19937_64& random) {
    std::string data(bytes, '\0');
    for (std::size_t i = 0; i + 8 <= bytes; i += 8) {
        const std::uint64_t word = compressible ? 0x2022657571696e75ULL + (i / 4096) % 7 : random();
        std::memcpy(data.data() + i, &word, 8);
    }
    std::ofstream(file, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

void writeDatabase(const fs::path& file, std::size_t bytes, std::mt19937_64& random) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; CREATE TABLE items(key TEXT, value BLOB); BEGIN;", nullptr,
                 nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO items VALUES (?1, ?2)", -1, &insert, nullptr);
    std::string value(2048, '\0');
    for (std::size_t written = 0, row = 0; written < bytes; written += value.size(), ++row) {
        for (std::size_t i = 0; i < value.size(); ++i)
            value[i] = static_cast<char>('a' + random() % 16);
        const auto key = "key-" + std::to_string(row);
        sqlite3_bind_text(insert, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 2, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE);", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// One machine's folders, filled once for all benchmarks.
struct Fixture {
    Fixture() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvi-container-bench-XXXXXX";
        root = ::mkdtemp(pattern.data());
        environment.documentsDir = root / "Documents";
        environment.tempDir = root / "tmp";
        environment.engineDataDir = root / "data" / "webkit";
        fs::create_directories(environment.documentsDir);
        fs::create_directories(environment.tempDir);
        std::mt19937_64 random(7);
        const std::size_t perProfile = kTotalBytes / kProfiles;
        for (std::size_t p = 0; p < kProfiles; ++p) {
            const auto folder = environment.engineDataDir / ("PROFILE-" + std::to_string(p));
            fs::create_directories(folder / "localstorage");
            fs::create_directories(folder / "CacheStorage");
            writeDatabase(folder / "cookies.sqlite", perProfile / 10, random);
            writeDatabase(folder / "localstorage" / "https_web.example_0.localstorage", perProfile * 2 / 10,
                          random);
            for (int blob = 0; blob < 35; ++blob)
                writeBlob(folder / "CacheStorage" / ("blob-" + std::to_string(blob)),
                          perProfile * 7 / 10 / 35, blob % 2 == 0, random);
        }
        prefs.setData(keys::kProfiles, std::string(4096, '\x01'));
    }
    ~Fixture() { fs::remove_all(root); }

    fs::path root;
    ContainerEnvironment environment;
    test::MemoryPreferencesStore prefs;
    ImmediateScheduler scheduler;
    NoClipboard clipboard;
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void reportRate(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotalBytes));
}

void BM_ContainerExport(benchmark::State& state) {
    auto& f = fixture();
    ContainerArchive archive(f.prefs, f.scheduler, f.clipboard, f.environment);
    for (auto _ : state) {
        std::optional<fs::path> path;
        archive.exportContainer([&](std::optional<fs::path> result) { path = result; });
        if (!path)
            state.SkipWithError("export failed");
    }
    reportRate(state);
}

void BM_ContainerImport(benchmark::State& state) {
    auto& f = fixture();
    ContainerArchive source(f.prefs, f.scheduler, f.clipboard, f.environment);
    std::optional<fs::path> path;
    source.exportContainer([&](std::optional<fs::path> result) { path = result; });
    auto target = f.environment;
    target.engineDataDir = f.root / "imported" / "webkit";
    test::MemoryPreferencesStore targetPrefs;
    ContainerArchive archive(targetPrefs, f.scheduler, f.clipboard, target);
    for (auto _ : state) {
        bool ok = false;
        archive.importContainer(*path, [&](Result<std::monostate> result) { ok = result.ok(); });
        if (!ok)
            state.SkipWithError("import failed");
    }
    reportRate(state);
}

// The floor: tar copies the same folders without compression, checks or database copies.
void BM_PlainTarOfTheSameFolders(benchmark::State& state) {
    auto& f = fixture();
    const auto archive = f.root / "plain.tar";
    const auto command =
        "tar -cf '" + archive.string() + "' -C '" + f.environment.engineDataDir.string() + "' .";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("tar failed");
    reportRate(state);
}

void BM_PlainUntarOfTheSameFolders(benchmark::State& state) {
    auto& f = fixture();
    const auto archive = f.root / "plain.tar";
    const auto target = f.root / "untarred";
    const auto command =
        "tar -cf '" + archive.string() + "' -C '" + f.environment.engineDataDir.string() + "' .";
    std::system(command.c_str());
    const auto extract = "rm -rf '" + target.string() + "' && mkdir -p '" + target.string() +
                         "' && tar -xf '" + archive.string() + "' -C '" + target.string() + "'";
    for (auto _ : state)
        if (std::system(extract.c_str()) != 0)
            state.SkipWithError("tar failed");
    reportRate(state);
}

} // namespace

BENCHMARK(BM_ContainerExport)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PlainTarOfTheSameFolders)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ContainerImport)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PlainUntarOfTheSameFolders)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
