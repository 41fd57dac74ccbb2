#include "core/web/scripts/EmbeddedScripts.h"
#include "core/web/scripts/JavaScriptLiteral.h"
#include "core/web/scripts/OrviUserScripts.h"
#include "core/web/scripts/ScriptTemplate.h"

namespace orvi {

std::string OrviUserScripts::imageBitmapFallbackScript() {
    return std::string(embeddedScript("ImageBitmapFallback.js"));
}

std::string OrviUserScripts::onServiceHostOnly(const std::string& script, const OrviDomains& domains) {
    return fillScriptTemplate(
        embeddedScript("ServiceHostGuard.js"),
        {{"allowedDomain", javaScriptStringLiteral(domains.allowedDomain())}, {"script", script}});
}

std::string OrviUserScripts::storageRestoreScript(const Json& snapshot, const OrviDomains& domains) {
    return onServiceHostOnly(fillScriptTemplate(embeddedScript("StorageRestore.js"),
                                                {{"snapshot", javaScriptJsonExpression(snapshot)}}),
                             domains);
}

} // namespace orvi
