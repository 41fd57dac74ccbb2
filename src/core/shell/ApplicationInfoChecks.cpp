#include "core/shell/ApplicationInfoChecks.h"

#include "core/base/Log.h"
#include "core/base/TextFolding.h"

namespace orvi {
namespace {

constexpr std::size_t kUsagePreviewLength = 50;

// A value counts only when it is present and a string.
std::optional<std::string> stringValue(const platform::ApplicationInfo& info, std::string_view key) {
    auto value = info.value(key);
    if (!value || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

void checkUsageDescription(const platform::ApplicationInfo& info, const std::string& key) {
    if (auto text = stringValue(info, key))
        logLine("✅ " + key + " found: " + text::prefixCharacters(*text, kUsagePreviewLength) + "...");
    else
        logLine("❌ " + key + " NOT FOUND in Info.plist!");
}

} // namespace

void logApplicationInfoChecks(const platform::ApplicationInfo& info) {
    checkUsageDescription(info, "NSCameraUsageDescription");
    checkUsageDescription(info, "NSMicrophoneUsageDescription");
    if (auto name = stringValue(info, "CFBundleDisplayName"))
        logLine("✅ CFBundleDisplayName found: " + *name);
    else
        logLine("❌ CFBundleDisplayName NOT FOUND in Info.plist! This may prevent permission dialogs!");
    if (auto name = stringValue(info, "CFBundleName"))
        logLine("✅ CFBundleName found: " + *name);
    else
        logLine("⚠️ CFBundleName NOT FOUND in Info.plist");
    if (auto identifier = info.identifier(); identifier && !identifier->empty())
        logLine("✅ Bundle Identifier: " + *identifier);
    else
        logLine("❌ Bundle Identifier NOT FOUND!");
}

} // namespace orvi
