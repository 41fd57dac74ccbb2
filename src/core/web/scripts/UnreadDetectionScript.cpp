#include "core/web/scripts/UnreadDetectionScript.h"

#include "core/web/scripts/EmbeddedScripts.h"
#include "core/web/scripts/JavaScriptLiteral.h"
#include "core/web/scripts/ScriptTemplate.h"

namespace orvi {

std::string unreadDetectionScript(const ProfileId& profileId) {
    return fillScriptTemplate(embeddedScript("UnreadDetection.js"),
                              {{"profileId", javaScriptStringLiteral(profileId.text())}});
}

} // namespace orvi
