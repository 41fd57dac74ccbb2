#include "core/web/scripts/EmbeddedScripts.h"
#include "core/web/scripts/JavaScriptLiteral.h"
#include "core/web/scripts/OrviUserScripts.h"
#include "core/web/scripts/ScriptTemplate.h"

#include <array>

namespace orvi {

namespace {

// The sidebar sections by their position in the app's menu.
constexpr std::array<std::string_view, 4> kNavigationItemTexts = {"Все", "Новые", "Контакты", "Звонки"};

} // namespace

std::string OrviUserScripts::switchToNavigationItem(int index, const std::string& label) {
    const std::string_view searchText =
        index >= 0 && static_cast<std::size_t>(index) < kNavigationItemTexts.size()
            ? kNavigationItemTexts[index]
            : "";
    return fillScriptTemplate(embeddedScript("NavigationSwitch.js"),
                              {
                                  {"index", std::to_string(index)},
                                  {"label", javaScriptStringLiteral(label)},
                                  {"searchText", javaScriptStringLiteral(searchText)},
                              });
}

} // namespace orvi
