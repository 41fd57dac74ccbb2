#pragma once

#include "core/base/Json.h"
#include "core/profiles/LocationSettings.h"
#include "core/web/policy/OrviDomains.h"

#include <string>

namespace orvi {

// The JavaScript the system injects into the messenger's page. Every script is a
// self-contained function expression that never throws out to the page, and every value
// inserted into one goes in as a literal (see JavaScriptLiteral.h), so no stored text can
// change what a script does.
class OrviUserScripts {
public:
    OrviUserScripts() = delete;

    // Per-profile storage isolation, automation markers, permissions, and the time zone,
    // language and position the page sees. Document start, all frames, after the restore.
    static std::string webViewMaskingScript(const std::string& profileId,
                                            const LocationSettings& locationSettings);

    // Clicks a section of the page's sidebar; the evaluation's value is true or false.
    static std::string switchToNavigationItem(int index, const std::string& label);

    // Makes the page read local image files another way when createImageBitmap rejects
    // them. Document start, all frames, first script.
    static std::string imageBitmapFallbackScript();

    // Writes a saved web-storage snapshot ({"localStorage": {...}, "sessionStorage": {...}})
    // back before the page's own scripts run. It writes only on the service web host and
    // only keys the page does not hold, so a reload after a crash never rolls back a value
    // the page has since rotated. Document start, main frame only.
    // Watches the page's calls (peer connections, captured microphone tracks, clicks on call
    // and hang-up controls) and reports to "callStateHandler". Document start, all frames.
    static std::string callStateDetectionScript();

    // Turns clicks on the service's file links, in any frame, into "downloadLink" messages
    // carrying the link and the file's displayed name. Document start, all frames.
    static std::string downloadClickScript(const OrviDomains& domains);

    static std::string storageRestoreScript(const Json& snapshot, const OrviDomains& domains);

    // Runs the script only while the page is on the service web host. Storage scripts are
    // wrapped in it because the page may have moved on between the host check in C++ and the
    // script's run, and a snapshot must never reach another origin.
    static std::string onServiceHostOnly(const std::string& script, const OrviDomains& domains);
};

inline constexpr const char* kImageBitmapFallbackGuard = "__orviFileImageBitmapFallback";

} // namespace orvi
