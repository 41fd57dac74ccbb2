#include "core/prefs/SqlitePreferencesStore.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace {

// A session entry of realistic size: 4 KiB of JSON-like bytes.
std::string fourKiBValue() {
    std::string value(4096, 'x');
    std::mt19937 random(42);
    for (auto& c : value)
        c = static_cast<char>('a' + random() % 26);
    return value;
}

class StoreFixture {
public:
    StoreFixture() {
        // ORVI_BENCH_DIR puts the file on another disk: /tmp is often in memory, where a
        // sync costs nothing.
        const char* base = std::getenv("ORVI_BENCH_DIR");
        const std::filesystem::path folder = base ? base : std::filesystem::temp_directory_path();
        std::string pattern = (folder / "orvi-bench-XXXXXX").string();
        m_dir = ::mkdtemp(pattern.data());
        auto store = orvi::SqlitePreferencesStore::create(m_dir / "preferences.sqlite3");
        if (!store.ok())
            std::abort();
        m_store = std::move(store).value();
    }
    ~StoreFixture() {
        m_store.reset();
        std::filesystem::remove_all(m_dir);
    }
    orvi::SqlitePreferencesStore& store() { return *m_store; }

private:
    std::filesystem::path m_dir;
    std::unique_ptr<orvi::SqlitePreferencesStore> m_store;
};

// Every write is a committed, fully synced transaction: this measures what a cookie or
// storage save costs.
void BM_WriteFourKiBData(benchmark::State& state) {
    StoreFixture fixture;
    const auto value = fourKiBValue();
    const std::string key = "OrviWrapper.Storage.00000000-0000-4000-8000-000000000000";
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture.store().setData(key, value));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(value.size()));
}
// Rates use wall-clock time: a synced write mostly waits for the disk, not the CPU.
BENCHMARK(BM_WriteFourKiBData)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ReadFourKiBData(benchmark::State& state) {
    StoreFixture fixture;
    const auto value = fourKiBValue();
    const std::string key = "OrviWrapper.Storage.00000000-0000-4000-8000-000000000000";
    fixture.store().setData(key, value);
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture.store().data(key));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(value.size()));
}
BENCHMARK(BM_ReadFourKiBData)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
