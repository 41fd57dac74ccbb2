// The costs of moving a session: the password envelope of a 1 MiB export (where the key
// derivation's 100,000 iterations dominate, measured apart), and exporting 1,000 cookies with
// a 1 MiB storage snapshot as plain bytes, as an envelope and as the indented file.
// clang-format off
#include <vector> // the fake store below relies on it
#include "../tests/fakes/MemoryPreferencesStore.h"
// clang-format on
#include "ImmediateScheduler.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieDictionary.h"
#include "core/session/CookieEncryption.h"
#include "core/session/SessionExport.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <openssl/evp.h>
#include <unistd.h>

namespace {

using namespace orvi;

constexpr std::size_t kMiB = 1024 * 1024;

using bench::ImmediateScheduler;

class BenchCookieStore final : public engine::CookieStore {
public:
    void getAllCookies(std::function<void(Result<std::vector<engine::Cookie>>)> completion) override {
        completion(cookies);
    }
    Connection observeChanges(std::function<void()>) override { return {}; }
    void setCookie(const engine::Cookie&, std::function<void()> completion) override { completion(); }
    void deleteCookie(const engine::Cookie&, std::function<void()> completion) override { completion(); }
    std::vector<engine::Cookie> cookies;
};

class BenchDataStore final : public engine::DataStore {
public:
    bool isPersistent() const override { return true; }
    engine::CookieStore& cookieStore() override { return store; }
    void removeAllData(std::function<void()> completion) override { completion(); }
    BenchCookieStore store;
};

// A page on the service host whose capture script answers with the snapshot.
class BenchWebView final : public engine::WebView {
public:
    explicit BenchWebView(std::shared_ptr<engine::DataStore> store, std::string snapshot)
        : m_store(std::move(store)), m_snapshot(std::move(snapshot)) {}
    engine::DataStore& dataStore() override { return *m_store; }
    std::shared_ptr<engine::DataStore> sharedDataStore() override { return m_store; }
    void addUserScript(const engine::UserScript&) override {}
    void removeAllUserScripts() override {}
    void removeUserScript(const engine::UserScript&) override {}
    void addScriptMessageHandler(const std::string&, engine::World,
                                 std::function<void(const Json&)>) override {}
    void removeScriptMessageHandler(const std::string&) override {}
    void evaluateJavaScript(const std::string&, engine::World,
                            std::function<void(engine::ScriptResult)> completion) override {
        completion(engine::ScriptResult(Json(m_snapshot)));
    }
    void callAsyncJavaScript(const std::string&, const Json&, engine::World,
                             std::function<void(engine::ScriptResult)> completion) override {
        completion(engine::ScriptResult(Json()));
    }
    void load(const engine::Request&) override {}
    void loadHTMLString(const std::string&, const std::string&) override {}
    void reload() override {}
    void stopLoading() override {}
    std::string url() const override { return "https://web.orvi.test/"; }
    std::string title() const override { return {}; }
    bool isLoading() const override { return false; }
    bool isInViewHierarchy() const override { return false; }
    void removeFromViewHierarchy() override {}
    void setCustomUserAgent(const std::string&) override {}
    std::string customUserAgent() const override { return {}; }
    void setNavigationDelegate(engine::NavigationDelegate*) override {}
    void setUIDelegate(engine::UIDelegate*) override {}
    void startDownload(const engine::Request&) override {}

private:
    std::shared_ptr<engine::DataStore> m_store;
    std::string m_snapshot;
};

std::string randomBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    return bytes;
}

std::vector<engine::Cookie> manyCookies(int count) {
    std::vector<engine::Cookie> cookies;
    for (int i = 0; i < count; ++i) {
        engine::Cookie cookie;
        cookie.name = "cookie_" + std::to_string(i);
        cookie.value = std::string(48, static_cast<char>('a' + i % 26));
        cookie.domain = ".web.orvi.test";
        cookie.isSecure = true;
        cookie.isHTTPOnly = i % 2 == 0;
        cookie.expiresDate = 1893456000.5 + i;
        cookies.push_back(std::move(cookie));
    }
    return cookies;
}

// About 1 MiB of storage as the capture script returns it.
std::string megabyteSnapshot() {
    Json local = Json::object();
    for (int i = 0; i < 1024; ++i)
        local["key_" + std::to_string(i)] = std::string(1000, static_cast<char>('a' + i % 26));
    return Json{{"localStorage", local}, {"sessionStorage", Json::object()}}.dump();
}

void EnvelopeKeyDerivationOnly(benchmark::State& state) {
    unsigned char salt[16] = {};
    unsigned char key[32];
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC("password", 8, salt, sizeof salt, CookieEncryption::kIterations, EVP_sha256(), 32,
                          key);
        benchmark::DoNotOptimize(key);
    }
}
BENCHMARK(EnvelopeKeyDerivationOnly)->Unit(benchmark::kMillisecond);

void EnvelopeEncrypt1MiB(benchmark::State& state) {
    const auto plain = randomBytes(kMiB);
    CookieEncryption encryption;
    for (auto _ : state)
        benchmark::DoNotOptimize(encryption.encrypt(plain, "password"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMiB));
}
BENCHMARK(EnvelopeEncrypt1MiB)->Unit(benchmark::kMillisecond);

void EnvelopeDecrypt1MiB(benchmark::State& state) {
    CookieEncryption encryption;
    const auto envelope = encryption.encrypt(randomBytes(kMiB), "password");
    for (auto _ : state)
        benchmark::DoNotOptimize(encryption.decrypt(envelope, "password"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMiB));
}
BENCHMARK(EnvelopeDecrypt1MiB)->Unit(benchmark::kMillisecond);

struct ExportSetup {
    ExportSetup() {
        char pattern[] = "/tmp/orvi-bench-XXXXXX";
        folder = ::mkdtemp(pattern);
        store->store.cookies = manyCookies(1000);
        snapshot = megabyteSnapshot();
        prefs.setData(keys::cookies(profile), cookies::toDictionaries(store->store.cookies).dump());
        prefs.setData(keys::storage(profile), snapshot);
        SessionEnvironment environment;
        environment.documentsDir = folder;
        environment.domains = OrviDomains::defaults();
        environment.domains.webHost = "web.orvi.test";
        manager = std::make_unique<SessionExport>(prefs, std::make_unique<CookieEncryption>(), scheduler,
                                                  std::move(environment));
        view = std::make_shared<BenchWebView>(store, snapshot);
    }
    ~ExportSetup() { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
    test::MemoryPreferencesStore prefs;
    ImmediateScheduler scheduler;
    ProfileId profile = ProfileId::generate();
    std::shared_ptr<BenchDataStore> store = std::make_shared<BenchDataStore>();
    std::string snapshot;
    std::unique_ptr<SessionExport> manager;
    std::shared_ptr<BenchWebView> view;
};

void ExportPlain1000Cookies1MiBStorage(benchmark::State& state) {
    ExportSetup setup;
    for (auto _ : state)
        setup.manager->exportCookies(setup.profile,
                                     [](std::optional<std::string> data) { benchmark::DoNotOptimize(data); });
}
BENCHMARK(ExportPlain1000Cookies1MiBStorage)->Unit(benchmark::kMillisecond);

void ExportEncryptedLive1000Cookies1MiBStorage(benchmark::State& state) {
    ExportSetup setup;
    for (auto _ : state)
        setup.manager->exportCookiesEncryptedFromDataStore(
            setup.profile, "password", setup.store,
            [](std::optional<std::string> data) { benchmark::DoNotOptimize(data); });
}
BENCHMARK(ExportEncryptedLive1000Cookies1MiBStorage)->Unit(benchmark::kMillisecond);

void ExportToFile1000Cookies1MiBStorage(benchmark::State& state) {
    ExportSetup setup;
    for (auto _ : state) {
        std::optional<std::filesystem::path> written;
        setup.manager->exportToFile(
            setup.profile, setup.store, setup.view,
            [&](std::optional<std::filesystem::path> path) { written = std::move(path); });
        state.PauseTiming();
        if (written)
            std::filesystem::remove(*written);
        state.ResumeTiming();
    }
}
BENCHMARK(ExportToFile1000Cookies1MiBStorage)->Unit(benchmark::kMillisecond);

} // namespace
