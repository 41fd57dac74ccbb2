#include "SessionTestSupport.h"
#include "core/session/SessionFile.h"

#include <fstream>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

constexpr const char* kOldSnapshot = R"({"localStorage":{"old":"1"},"sessionStorage":{}})";
constexpr const char* kOldCookies = R"([{"name":"old","value":"1","domain":"web.orvi.test","path":"/"}])";

const std::string kCookieA =
    R"({"name":"sid","value":"a=b;c","domain":".web.orvi.test","path":"/","isSecure":true,"isHTTPOnly":true,"expiresDate":1893456000.5})";
const std::string kCookieB =
    R"({"name":"lang","value":"ru","domain":"web.orvi.test","secure":false,"expirationDate":0})";

// A session document of the given version around cookie dictionaries, followed by more members.
std::string document(const std::string& version, const std::string& cookies, const std::string& rest = "") {
    return R"({"version":)" + version + R"(,"cookies":[)" + cookies + "]" + rest + "}";
}

class SessionImportTest : public SessionFixture {
protected:
    SessionImportTest() { resetSession(); }
    void resetSession() {
        store->cookies.cookies.clear();
        prefs.setData(keys::storage(profile), kOldSnapshot);
        prefs.setData(keys::cookies(profile), kOldCookies);
    }
    int import(const std::string& data) {
        counts.clear();
        importer->importCookies(profile, data, store, [this](int count) { counts.push_back(count); });
        scheduler.runPending();
        EXPECT_EQ(counts.size(), 1u) << data.substr(0, 40);
        return counts.empty() ? -1 : counts.front();
    }
    bool unchanged() const {
        return savedStorage() == kOldSnapshot && savedCookies() == kOldCookies &&
               store->cookies.cookies.empty();
    }
};

} // namespace

TEST_F(SessionImportTest, RecognisesEveryFormatAndForeignInput) {
    const std::pair<std::string, int> cases[] = {
        {std::string("PK\x03\x04", 4) + std::string(40, 'x'), 0},
        {"[]", 0},
        {"", 0},
        {"[" + kCookieA + "," + kCookieB + "]", 2},
        {document("2", kCookieA), 1},
        {document("2.0", kCookieB), 1},
        {document("7", kCookieB), 1},
        {document("1", kCookieA), 0},
        {document(R"("2")", kCookieA), 0},
        {document("2.5", kCookieA), 0},
        {"bplist00" + std::string(60, '\x01'), 0},
        {"[" + kCookieA + "," + kCookieB, 0},
        {std::string(100000, '[') + std::string(100000, ']'), 0},
        {"[{\"name\":\"a\xff\",\"value\":\"v\",\"domain\":\"d\"}]", 0},
        {R"({"version":1e999,"cookies":[]})", 0},
        {R"({"version":2,"cookies":{"name":"sid"}})", 0},
        {R"({"version":2,"cookies":[1,2]})", 0},
        {document("2", "", R"(,"storage":{"localStorage":{"a":5},"sessionStorage":{}})"), 0},
        {R"({"version":2,"cookies":[],"storage":"x"})", 0},
    };
    for (const auto& [input, count] : cases) {
        SCOPED_TRACE(input.substr(0, 60));
        resetSession();
        EXPECT_EQ(import(input), count);
        EXPECT_EQ(store->cookies.cookies.size(), static_cast<std::size_t>(count));
        if (count == 0) {
            EXPECT_TRUE(unchanged());
        }
    }
}

TEST_F(SessionImportTest, ADocumentReplacesStorageWithOrWithoutCookiesAndSavesTheImportedOnes) {
    EXPECT_EQ(import(document(
                  "2", kCookieA + "," + kCookieB,
                  R"(,"storage":{"localStorage":{"k":"v"},"sessionStorage":{},"extra":1},"exportedAt":"x")")),
              2);
    EXPECT_EQ(parseJson(*savedStorage()),
              parseJson(R"({"localStorage":{"k":"v"},"sessionStorage":{},"extra":1})"));
    const auto saved = parseJson(*savedCookies());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->size(), 2u);

    EXPECT_EQ(import(R"({"version":2,"storage":{"localStorage":{},"sessionStorage":{"s":"1"}}})"), 0);
    EXPECT_EQ(savedStorage(), R"({"localStorage":{},"sessionStorage":{"s":"1"}})") << "even without cookies";
}

TEST_F(SessionImportTest, RefusesInputsOverTheSizeLimitBeforeParsingThem) {
    std::string huge(SessionFile::kMaxImportSize + 1, ' ');
    huge.front() = '[';
    EXPECT_EQ(import(huge), 0);
    EXPECT_TRUE(unchanged());

    TempDir folder;
    const auto path = folder.path() / "big.json";
    { std::ofstream out(path); }
    std::filesystem::resize_file(path, 1ull << 30); // a sparse 1 GiB file
    auto read = SessionFile::read(path);
    ASSERT_FALSE(read.ok());
    EXPECT_NE(read.error().message.find("too large"), std::string::npos);
    EXPECT_FALSE(SessionFile::read(folder.path()).ok());
}

TEST_F(SessionImportTest, CompletesOnceWhenTheStoreOrTheImportGoesAwayMidImport) {
    const std::string array = "[" + kCookieA + "," + kCookieB + "]";
    store->cookies.deferAnswers = true;
    importer->importCookies(profile, array, store, [this](int count) { counts.push_back(count); });
    importer.reset();
    store->cookies.releaseDeferred();
    scheduler.runPending();
    store->cookies.releaseDeferred();
    scheduler.runPending();
    EXPECT_EQ(counts, std::vector<int>{0});

    importer = makeImport();
    counts.clear();
    importer->importCookies(profile, array, store, [this](int count) { counts.push_back(count); });
    store.reset();
    view.reset();
    scheduler.runPending();
    EXPECT_EQ(counts, std::vector<int>{0});
}

class SessionEncryptedImport : public SessionImportTest {
protected:
    Result<int> importSealed(const std::string& data, const std::string& password) {
        results.clear();
        importer->importCookiesEncrypted(profile, data, password, store, [this](Result<int> result) {
            results.push_back(std::move(result));
        });
        scheduler.runPending();
        EXPECT_EQ(results.size(), 1u);
        return results.empty() ? Result<int>(-1) : results.front();
    }
    CookieEncryption envelope;
};

TEST_F(SessionEncryptedImport, ImportsDocumentsAndBareArraysAndTakesAnUnusablePlaintextAsNothing) {
    struct Case {
        std::string plaintext;
        const char* password;
        int count;
    };
    const Case cases[] = {
        {R"({"version":2,"storage":[]})", "pw", 0},
        {"hello, not a session", "pw", 0},
        {R"({"version":2,"cookies":[]})", "pw", 0},
        {"[" + kCookieA + "," + kCookieB + "]", "", 2},
        {document("2", kCookieA, R"(,"storage":{"localStorage":{"k":"v"},"sessionStorage":{}})"), "pw", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plaintext);
        resetSession();
        auto result = importSealed(envelope.encrypt(c.plaintext, c.password), c.password);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.value(), c.count);
        if (c.count == 0 && c.plaintext.find("cookies") == std::string::npos) {
            EXPECT_TRUE(unchanged());
        }
    }
    EXPECT_EQ(savedStorage(), R"({"localStorage":{"k":"v"},"sessionStorage":{}})");
}

TEST_F(SessionEncryptedImport, DecryptionFailuresCarryTheEnvelopesErrorAndChangeNothing) {
    struct Case {
        std::string data;
        CookieEncryptionError::Kind kind;
    };
    const Case cases[] = {
        {envelope.encrypt(document("2", kCookieA), "right"), CookieEncryptionError::Kind::decryptionFailed},
        {std::string(43, 'x'), CookieEncryptionError::Kind::invalidData},
    };
    for (const auto& c : cases) {
        auto result = importSealed(c.data, "wrong");
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().domain, kCookieEncryptionErrorDomain);
        EXPECT_EQ(result.error().code, static_cast<int>(c.kind));
        EXPECT_EQ(result.error().message, CookieEncryptionError::description(c.kind));
        EXPECT_TRUE(unchanged());
    }
}

TEST_F(SessionEncryptedImport, NeitherPlainNorSealedContentsReachTheLog) {
    const std::string marker = "SECRETMARKER";
    const std::string document = R"({"version":2,"cookies":[{"name":"n","value":")" + marker +
                                 R"(","domain":"web.orvi.test"}],"storage":{"localStorage":{")" + marker +
                                 R"(":")" + marker + R"("},"sessionStorage":{}}})";
    EXPECT_EQ(import(document), 1);
    EXPECT_EQ(import(marker + "\xff\xfe" + marker), 0);
    EXPECT_TRUE(importSealed(envelope.encrypt(document, "pw"), "pw").ok());
    EXPECT_TRUE(importSealed(envelope.encrypt(marker + " trailing text", "pw"), "pw").ok());
    EXPECT_FALSE(log.containsSubstring(marker));
}
