#include "core/shell/SidebarNavigation.h"

#include "core/base/Log.h"
#include "core/shell/MainWebViewModel.h"
#include "core/web/scripts/OrviUserScripts.h"
#include "engine/WebView.h"

namespace orvi {

const std::array<SidebarNavigation::Item, 4>& SidebarNavigation::items() {
    static const std::array<Item, 4> list{{
        {0, "Все", "mail-unread-symbolic"},
        {1, "Новые", "folder-symbolic"},
        {2, "Контакты", "system-users-symbolic"},
        {3, "Звонки", "call-start-symbolic"},
    }};
    return list;
}

bool SidebarNavigation::switchTo(const MainWebViewModel& model, const Item& item) {
    const auto webView = model.coordinator() ? model.coordinator()->currentWebView() : nullptr;
    if (!webView)
        return false;
    const auto script = OrviUserScripts::switchToNavigationItem(item.index, item.label);
    webView->evaluateJavaScript(
        script, engine::World::page, [label = item.label](engine::ScriptResult result) {
            if (!result.ok()) {
                logLine("⚠️ Error switching to " + label + ": " + result.error().message);
                return;
            }
            const Json& value = result.value();
            if (value.is_boolean() && value.get<bool>()) {
                logLine("✅ Successfully switched to " + label);
                return;
            }
            std::string description = "nil";
            if (value.is_string())
                description = value.get<std::string>();
            else if (!value.is_null())
                description = value.dump();
            logLine("⚠️ Switch to " + label + " returned: " + description);
        });
    return true;
}

} // namespace orvi
