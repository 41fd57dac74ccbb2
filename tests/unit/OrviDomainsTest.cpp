#include "core/web/policy/OrviDomains.h"

#include "core/base/Json.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using orvi::OrviDomains;

namespace {

const char* kValidFile = R"({
  "scheme": "http",
  "webHost": "web.orvi.test",
  "serviceDomain": "orvi.test",
  "downloadHost": "download.orvi.test",
  "webDownloadHost": "web-download.orvi.test",
  "fileHost": "files.orvi.test",
  "landingHost": "app.orvi.test",
  "outsideHosts": ["fonts.example.test", "fontfiles.example.test", "cdn-one.example.test", "cdn-two.example.test"]
})";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

// An endpoints file with the given text in a folder of its own.
struct EndpointsFile {
    explicit EndpointsFile(const std::string& contents) { std::ofstream(path()) << contents; }
    std::string path() const { return (folder.path() / "endpoints.json").string(); }
    orvi::test::TempDir folder;
};

} // namespace

TEST(OrviDomains, EndpointsFileReplacesEveryRoleAndTheDefaultsAreAValidSet) {
    const auto domains = OrviDomains::fromJsonText(kValidFile, "test.json");
    ASSERT_TRUE(domains) << domains.error().message;
    EXPECT_EQ(domains.value().scheme, "http");
    EXPECT_EQ(domains.value().allowedDomain(), "web.orvi.test");
    EXPECT_EQ(domains.value().serviceDomain, "orvi.test");
    EXPECT_EQ(domains.value().downloadHost, "download.orvi.test");
    EXPECT_EQ(domains.value().webDownloadHost, "web-download.orvi.test");
    EXPECT_EQ(domains.value().fileHost, "files.orvi.test");
    EXPECT_EQ(domains.value().landingHost, "app.orvi.test");
    EXPECT_EQ(domains.value().outsideHosts[3], "cdn-two.example.test");
    EXPECT_EQ(domains.value().serviceOrigin(), "http://web.orvi.test/");

    // The compiled-in defaults are a valid set of their own.
    const auto d = OrviDomains::defaults();
    const std::string text = orvi::Json{
        {"scheme", d.scheme},
        {"webHost", d.webHost},
        {"serviceDomain", d.serviceDomain},
        {"downloadHost", d.downloadHost},
        {"webDownloadHost", d.webDownloadHost},
        {"fileHost", d.fileHost},
        {"landingHost", d.landingHost},
        {"outsideHosts",
         d.outsideHosts}}.dump();
    const auto reread = OrviDomains::fromJsonText(text, "defaults");
    ASSERT_TRUE(reread) << reread.error().message;
    EXPECT_EQ(reread.value(), d);
    EXPECT_NE(d.webHost.find(d.serviceDomain), std::string::npos);
}

TEST(OrviDomains, EndpointsFileThatIsNotExactlyRightIsRefusedWithAMessageNamingTheProblem) {
    const std::string valid = kValidFile;
    struct Case {
        std::string text;
        std::string messagePart;
    };
    const Case cases[] = {
        {"", "not valid JSON"},
        {"{\"scheme\": ", "not valid JSON"},
        {"[1, 2]", "not a JSON object"},
        {replaced(valid, "\"scheme\": \"http\",", "\"scheme\": \"http\", \"extra\": 1,"),
         "unknown member \"extra\""},
        {replaced(valid, "\"fileHost\": \"files.orvi.test\",", ""), "missing member \"fileHost\""},
        {replaced(
             valid,
             R"("outsideHosts": ["fonts.example.test", "fontfiles.example.test", "cdn-one.example.test", "cdn-two.example.test"])",
             "\"outsideHosts2\": []"),
         "unknown member \"outsideHosts2\""},
        {replaced(valid, "\"webHost\": \"web.orvi.test\"", "\"webHost\": 5"),
         "member \"webHost\" must be a string"},
        {replaced(valid, "\"webHost\": \"web.orvi.test\"", "\"webHost\": null"),
         "member \"webHost\" must be a string"},
        {replaced(valid, "\"cdn-two.example.test\"]", "\"cdn-two.example.test\", \"x.test\"]"),
         "\"outsideHosts\" must be an array of 4 strings"},
        {replaced(valid, "\"cdn-two.example.test\"]", "7]"),
         "\"outsideHosts\" must be an array of 4 strings"},
        {replaced(valid, "\"scheme\": \"http\"", "\"scheme\": \"ftp\""),
         "\"scheme\" must be \"http\" or \"https\""},
        {replaced(valid, "\"serviceDomain\": \"orvi.test\"", "\"serviceDomain\": \"\""),
         "\"serviceDomain\" must not be empty"},
        {replaced(valid, "\"landingHost\": \"app.orvi.test\"", "\"landingHost\": \"App.orvi.test\""),
         "\"landingHost\" must be lower-case"},
        {replaced(valid, "\"webHost\": \"web.orvi.test\"", "\"webHost\": \"web.orvi.test/path\""),
         "\"webHost\" is not a host name"},
        {replaced(valid, "\"webHost\": \"web.orvi.test\"", "\"webHost\": \"web.orvi.test:8080\""),
         "\"webHost\" is not a host name"},
        {replaced(valid, "\"fonts.example.test\",", "\"\","), "entry \"\" must not be empty"},
    };
    for (const auto& c : cases) {
        const auto domains = OrviDomains::fromJsonText(c.text, "endpoints.json");
        ASSERT_FALSE(domains) << c.text;
        EXPECT_EQ(domains.error().domain, orvi::kServiceEndpointsErrorDomain);
        EXPECT_NE(domains.error().message.find("endpoints.json"), std::string::npos)
            << domains.error().message;
        EXPECT_NE(domains.error().message.find(c.messagePart), std::string::npos)
            << domains.error().message << " lacks " << c.messagePart;
    }
}

TEST(OrviDomains, EnvironmentVariableNamesTheFileAndAnUnreadableFileIsAnError) {
    const EndpointsFile file(kValidFile);
    ::setenv(orvi::kServiceEndpointsVariable, file.path().c_str(), 1);
    const auto fromFile = OrviDomains::fromEnvironment();
    ASSERT_TRUE(fromFile) << fromFile.error().message;
    EXPECT_EQ(fromFile.value().webHost, "web.orvi.test");

    ::setenv(orvi::kServiceEndpointsVariable, "/nonexistent/endpoints.json", 1);
    const auto missing = OrviDomains::fromEnvironment();
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("/nonexistent/endpoints.json: cannot be opened"),
              std::string::npos);

    ::setenv(orvi::kServiceEndpointsVariable, "", 1);
    ASSERT_TRUE(OrviDomains::fromEnvironment());
    EXPECT_EQ(OrviDomains::fromEnvironment().value(), OrviDomains::defaults());
    ::unsetenv(orvi::kServiceEndpointsVariable);
    EXPECT_EQ(OrviDomains::fromEnvironment().value(), OrviDomains::defaults());
}

TEST(OrviDomains, OnlyARegularFileOfSaneSizeIsReadAndNothingElseHoldsStartUp) {
    orvi::test::TempDir dir;
    const auto fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder");
    {
        std::ofstream big(dir / "big", std::ios::binary);
        big << kValidFile << std::string(70 * 1024, ' ');
    }
    for (const auto& path :
         {fifo.string(), (dir / "folder").string(), std::string("/dev/zero"), (dir / "big").string()}) {
        SCOPED_TRACE(path);
        auto reading = std::async(std::launch::async, [&] { return OrviDomains::fromFile(path); });
        if (reading.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
            // Let the stuck reader go so the test can end, then fail.
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            ::close(writer);
            ADD_FAILURE() << "reading did not return";
        }
        EXPECT_FALSE(reading.get());
    }
}

TEST(OrviDomains, OnlyTheWebHostAndItsSubdomainsAreAllowed) {
    const auto domains = OrviDomains::fromJsonText(kValidFile, "test.json").value();
    struct Case {
        const char* url;
        bool allowed;
    };
    const Case cases[] = {
        {"http://web.orvi.test/", true},
        {"https://WEB.ORVI.TEST:8443/chat", true},
        {"http://x.web.orvi.test/", true},
        {"http://a.b.web.orvi.test/", true},
        {"http://evilweb.orvi.test/", false},
        {"http://web.orvi.test.evil.example/", false},
        {"http://orvi.test/", false},
        {"http://web.orvi.test@evil.example/", false},
        {"http://evil.example\\@web.orvi.test/", false},
        {"http://evil.example/?next=http://web.orvi.test/", false},
        {"about:blank", false},
        {"mailto:web.orvi.test", false},
        {"", false},
        {"http://", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(domains.isAllowed(std::string_view(c.url)), c.allowed) << c.url;
}
