#include "platform/linux/OrviApplicationInfo.h"
#include "support/TempDir.h"

#include <filesystem>
#include <glib.h>
#include <gtest/gtest.h>

namespace {

const std::filesystem::path kSource = ORVI_SOURCE_DIR;

struct Run {
    int status = -1;
    std::string output;
};

Run run(std::vector<std::string> argv, const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<gchar*> args;
    for (auto& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    g_auto(GStrv) env = g_get_environ();
    for (const auto& entry : extraEnvironment) {
        const auto eq = entry.find('=');
        env = g_environ_setenv(env, entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), TRUE);
    }
    g_autofree gchar* out = nullptr;
    g_autofree gchar* err = nullptr;
    g_autoptr(GError) error = nullptr;
    Run result;
    if (!g_spawn_sync(kSource.c_str(), args.data(), env, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out, &err,
                      &result.status, &error))
        return {-1, error->message};
    result.output = std::string(out) + err;
    result.status =
        g_spawn_check_wait_status(result.status, nullptr) ? 0 : (result.status ? result.status : 1);
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
    const std::vector<std::string> env{"ORVI_DESKTOP_PREFIX=" + prefix.path().string()};
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
    EXPECT_NE(refused.status, 0);
    EXPECT_EQ(orvi::test::readFile(entryPath), entry) << "a refused path changes nothing";
}

} // namespace
