#include "core/web/scripts/JavaScriptLiteral.h"
#include "core/web/scripts/OrviUserScripts.h"

namespace orvi {

std::string OrviUserScripts::imageBitmapFallbackScript() {
    return R"JS((function() {
    try {
        if (window.__orviFileImageBitmapFallback || typeof window.createImageBitmap !== 'function') {
            return;
        }
        window.__orviFileImageBitmapFallback = true;
        const originalCreateImageBitmap = window.createImageBitmap;
        window.createImageBitmap = function(source) {
            if (typeof File !== 'undefined' && source instanceof File &&
                String(source.type || '').toLowerCase().startsWith('image/')) {
                return Promise.reject(new DOMException('Use FileReader fallback for local images', 'NotSupportedError'));
            }
            return originalCreateImageBitmap.apply(window, arguments);
        };
    } catch (e) {}
})();
)JS";
}

std::string OrviUserScripts::storageRestoreScript(const Json& snapshot, const OrviDomains& domains) {
    // Each key is written in its own try so that one value over the quota does not cost the
    // others.
    return "(() => {\n"
           "    try {\n"
           "        const allowedDomain = " +
           javaScriptStringLiteral(domains.allowedDomain()) +
           ";\n"
           "        const host = String(window.location.hostname || '').toLowerCase();\n"
           "        if (host !== allowedDomain && !host.endsWith('.' + allowedDomain)) {\n"
           "            return;\n"
           "        }\n"
           "        const saved = " +
           javaScriptJsonExpression(snapshot) +
           ";\n"
           "        const restore = (storage, values) => {\n"
           "            if (!storage || !values || typeof values !== 'object') {\n"
           "                return;\n"
           "            }\n"
           "            for (const key of Object.keys(values)) {\n"
           "                try {\n"
           "                    if (storage.getItem(key) === null) {\n"
           "                        storage.setItem(key, values[key]);\n"
           "                    }\n"
           "                } catch (e) {}\n"
           "            }\n"
           "        };\n"
           "        restore(window.localStorage, saved.localStorage || {});\n"
           "        restore(window.sessionStorage, saved.sessionStorage || {});\n"
           "    } catch (e) {}\n"
           "})();\n";
}

} // namespace orvi
