#include "core/page/OrviWebCoordinator.h"
#include "core/session/StorageSnapshot.h"
#include "core/web/scripts/OrviUserScripts.h"
#include "core/web/scripts/UnreadDetectionScript.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <jsc/jsc.h>
#include <regex>
#include <string>
#include <vector>

using namespace orvi;

namespace {

struct Source {
    std::string name;
    std::string text;
};

// The builders fill every {{marker}} with one JavaScript expression, so null stands in for
// each when a file is checked on its own.
std::vector<Source> scriptFiles() {
    std::vector<Source> files;
    for (const auto& entry : std::filesystem::directory_iterator(ORVI_SOURCE_DIR "/resources/js"))
        if (entry.path().extension() == ".js")
            files.push_back(
                {entry.path().filename().string(),
                 std::regex_replace(test::readFile(entry.path()), std::regex(R"(\{\{\w+\}\})"), "null")});
    return files;
}

// Values that would break out of a badly escaped literal.
const std::string kHostile = "q'\"\\ </script> \u2028\u2029 ${x} {{script}} `";

std::vector<Source> builtScripts() {
    const auto snapshot = *StorageSnapshot::parse(
        Json{{"localStorage", {{kHostile, kHostile}}}, {"sessionStorage", {{"k", kHostile}}}}.dump());
    const auto domains = OrviDomains::defaults();
    return {
        {"masking",
         OrviUserScripts::webViewMaskingScript(kHostile, {kHostile, kHostile, kHostile, 1.0, 2.0})},
        {"navigation", OrviUserScripts::switchToNavigationItem(1, kHostile)},
        {"storage restore",
         OrviUserScripts::storageRestoreScript(Json{{"localStorage", {{kHostile, kHostile}}}}, domains)},
        {"local restore", OrviUserScripts::onServiceHostOnly(snapshot.localRestoreScript(), domains)},
        {"session restore", OrviUserScripts::onServiceHostOnly(snapshot.sessionRestoreScript(), domains)},
        {"unread", unreadDetectionScript(ProfileId::generate())},
        {"console", OrviWebCoordinator::consoleInterceptScript()},
    };
}

JSCCheckSyntaxResult check(JSCContext* context, const Source& source, std::string& message) {
    JSCException* exception = nullptr;
    const auto result = jsc_context_check_syntax(
        context, source.text.c_str(), -1, JSC_CHECK_SYNTAX_MODE_SCRIPT, source.name.c_str(), 1, &exception);
    if (exception) {
        char* report = jsc_exception_report(exception);
        message = report ? report : "";
        g_free(report);
        g_object_unref(exception);
    }
    return result;
}

} // namespace

TEST(ScriptSyntax, EveryScriptFileAndEveryBuiltScriptParses) {
    JSCContext* context = jsc_context_new();
    auto sources = scriptFiles();
    EXPECT_GE(sources.size(), 8u) << "resources/js was not found or lost files";
    for (auto& built : builtScripts())
        sources.push_back(std::move(built));
    for (const auto& source : sources) {
        std::string message;
        EXPECT_EQ(check(context, source, message), JSC_CHECK_SYNTAX_RESULT_SUCCESS)
            << source.name << ": " << message;
    }
    // The check itself must be able to fail.
    std::string message;
    EXPECT_NE(check(context, {"broken", "(function() { return 1; ();"}, message),
              JSC_CHECK_SYNTAX_RESULT_SUCCESS);
    EXPECT_FALSE(message.empty());
    g_object_unref(context);
}
