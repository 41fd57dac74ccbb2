#include "core/web/policy/OrviDomains.h"

#include "core/base/Json.h"
#include "support/TempDir.h"
#include "support/TestDomains.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using orvi::Json;
using orvi::OrviDomains;

namespace {

// The endpoints file that gives these domains.
Json endpoints(const OrviDomains& d = orvi::test::testDomains()) {
    return {{"scheme", d.scheme},
            {"webHost", d.webHost},
            {"serviceDomain", d.serviceDomain},
            {"downloadHost", d.downloadHost},
            {"webDownloadHost", d.webDownloadHost},
            {"fileHost", d.fileHost},
            {"landingHost", d.landingHost},
            {"outsideHosts", d.outsideHosts}};
}
const std::string kValidFile = endpoints().dump(2);

std::string with(const std::string& member, Json value) {
    auto file = endpoints();
    file[member] = std::move(value);
    return file.dump();
}

} // namespace

TEST(OrviDomains, EndpointsFileReplacesEveryRoleAndTheDefaultsAreAValidSet) {
    for (const auto& domains : {orvi::test::testDomains(), OrviDomains::defaults()}) {
        const auto read = OrviDomains::fromJsonText(endpoints(domains).dump(), "test.json");
        ASSERT_TRUE(read) << read.error().message;
        EXPECT_EQ(read.value(), domains);
    }
    EXPECT_EQ(orvi::test::testDomains().serviceOrigin(), "http://web.orvi.test/");
    const auto d = OrviDomains::defaults();
    EXPECT_NE(d.webHost.find(d.serviceDomain), std::string::npos);
}

TEST(OrviDomains, EndpointsFileThatIsNotExactlyRightIsRefusedWithAMessageNamingTheProblem) {
    auto withoutFileHost = endpoints();
    withoutFileHost.erase("fileHost");
    const std::pair<std::string, std::string> cases[] = {
        {"", "not valid JSON"},
        {"{\"scheme\": ", "not valid JSON"},
        {"[1, 2]", "not a JSON object"},
        {with("extra", 1), "unknown member \"extra\""},
        {withoutFileHost.dump(), "missing member \"fileHost\""},
        {with("webHost", 5), "member \"webHost\" must be a string"},
        {with("webHost", nullptr), "member \"webHost\" must be a string"},
        {with("outsideHosts", {"a.test", "b.test", "c.test", "d.test", "x.test"}),
         "\"outsideHosts\" must be an array of 4 strings"},
        {with("outsideHosts", {"a.test", "b.test", "c.test", 7}),
         "\"outsideHosts\" must be an array of 4 strings"},
        {with("scheme", "ftp"), "\"scheme\" must be \"http\" or \"https\""},
        {with("serviceDomain", ""), "\"serviceDomain\" must not be empty"},
        {with("landingHost", "App.orvi.test"), "\"landingHost\" must be lower-case"},
        {with("webHost", "web.orvi.test/path"), "\"webHost\" is not a host name"},
        {with("webHost", "web.orvi.test:8080"), "\"webHost\" is not a host name"},
        {with("outsideHosts", {"", "b.test", "c.test", "d.test"}), "entry \"\" must not be empty"},
    };
    for (const auto& [text, messagePart] : cases) {
        const auto domains = OrviDomains::fromJsonText(text, "endpoints.json");
        ASSERT_FALSE(domains) << text;
        EXPECT_EQ(domains.error().domain, orvi::kServiceEndpointsErrorDomain);
        EXPECT_NE(domains.error().message.find("endpoints.json"), std::string::npos)
            << domains.error().message;
        EXPECT_NE(domains.error().message.find(messagePart), std::string::npos)
            << domains.error().message << " lacks " << messagePart;
    }
}

TEST(OrviDomains, TheEnvironmentNamesTheFileAndOnlyARegularFileOfSaneSizeIsReadWithoutHoldingStartUp) {
    orvi::test::TempDir dir;
    const auto file = dir / "endpoints.json";
    std::ofstream(file) << kValidFile;
    ::setenv(orvi::kServiceEndpointsVariable, file.c_str(), 1);
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
    const auto domains = orvi::test::testDomains();
    for (const char* url : {"http://web.orvi.test/", "https://WEB.ORVI.TEST:8443/chat",
                            "http://x.web.orvi.test/", "http://a.b.web.orvi.test/"})
        EXPECT_TRUE(domains.isAllowed(std::string_view(url))) << url;
    for (const char* url :
         {"http://evilweb.orvi.test/", "http://web.orvi.test.evil.example/", "http://orvi.test/",
          "http://web.orvi.test@evil.example/", "http://evil.example\\@web.orvi.test/",
          "http://evil.example/?next=http://web.orvi.test/", "about:blank", "mailto:web.orvi.test", "",
          "http://"})
        EXPECT_FALSE(domains.isAllowed(std::string_view(url))) << url;
}
