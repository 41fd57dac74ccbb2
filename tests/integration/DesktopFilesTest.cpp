#include "platform/linux/OrviApplicationInfo.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

const std::filesystem::path kSource = ORVI_SOURCE_DIR;

struct Run {
    std::optional<int> status;
    std::string output;
};

// Runs a command in the source tree; what it printed, errors included, comes back as one text.
Run run(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment = {}) {
    std::vector<std::string> arguments{"-c", "cd \"$0\" && exec \"$@\" 2>&1", kSource.string()};
    arguments.insert(arguments.end(), command.begin(), command.end());
    auto process = orvi::test::ChildProcess::start("/bin/sh", {arguments, environment, {}});
    Run result{process->waitForExit(std::chrono::seconds(60)), {}};
    for (const auto& line : process->lines())
        result.output += line + "\n";
    return result;
}

const std::string kAppId = orvi::platform::kApplicationId;

TEST(DesktopFiles, TheLauncherEntryAndTheMetadataPassTheDesktopValidators) {
    const auto desktop = run({"desktop-file-validate", "resources/" + kAppId + ".desktop"});
    EXPECT_EQ(desktop.status, 0) << desktop.output;
    EXPECT_EQ(desktop.output, "") << "no warnings either";
    const auto metainfo =
        run({"appstreamcli", "validate", "--no-net", "resources/" + kAppId + ".metainfo.xml"});
    EXPECT_EQ(metainfo.status, 0) << metainfo.output;

    // Badges and notifications are matched to the application by these names.
    const auto entry = orvi::test::readFile(kSource / "resources" / (kAppId + ".desktop"));
    EXPECT_NE(entry.find("\nIcon=" + kAppId + "\n"), std::string::npos);
    EXPECT_NE(entry.find("\nStartupWMClass=" + kAppId + "\n"), std::string::npos);
}

TEST(DesktopFiles, InstallingPutsEveryFileInPlaceOnceAndRefusesAPathItCannotQuote) {
    orvi::test::TempDir prefix;
    const std::map<std::string, std::string> env{{"ORVI_DESKTOP_PREFIX", prefix.path().string()}};
    const auto first = run({"bash", "scripts/install-desktop-files", "/opt/orvi build/orvi-wrapper"}, env);
    ASSERT_EQ(first.status, 0) << first.output;

    const auto entry = orvi::test::readFile(prefix / ("applications/" + kAppId + ".desktop"));
    EXPECT_NE(entry.find("\nExec=\"/opt/orvi build/orvi-wrapper\"\n"), std::string::npos) << entry;
    EXPECT_EQ(orvi::test::readFile(prefix / ("metainfo/" + kAppId + ".metainfo.xml")),
              orvi::test::readFile(kSource / "resources" / (kAppId + ".metainfo.xml")));
    for (const char* size :
         {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256", "512x512"})
        EXPECT_TRUE(std::filesystem::exists(prefix / "icons/hicolor" / size / "apps" / (kAppId + ".png")))
            << size;
    EXPECT_TRUE(std::filesystem::exists(prefix / "icons/hicolor/scalable/apps" / (kAppId + ".svg")));
    const auto installed =
        run({"desktop-file-validate", (prefix / ("applications/" + kAppId + ".desktop")).string()});
    EXPECT_EQ(installed.status, 0) << installed.output;

    const auto entryPath = prefix / ("applications/" + kAppId + ".desktop");
    const auto modified = std::filesystem::last_write_time(entryPath);
    const auto second = run({"bash", "scripts/install-desktop-files", "/opt/orvi build/orvi-wrapper"}, env);
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(second.output, "") << "nothing to do the second time";
    EXPECT_EQ(std::filesystem::last_write_time(entryPath), modified);

    const auto refused = run({"bash", "scripts/install-desktop-files", "/opt/$HOME/orvi-wrapper"}, env);
    EXPECT_NE(refused.status.value_or(0), 0);
    EXPECT_EQ(orvi::test::readFile(entryPath), entry) << "a refused path changes nothing";
}

} // namespace
