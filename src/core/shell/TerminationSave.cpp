#include "core/shell/TerminationSave.h"

#include "core/base/Log.h"
#include "core/shell/MainWebViewModel.h"
#include "core/web/WebViewSessions.h"

#include <memory>

namespace orvi {

bool TerminationSave::run(MainWebViewModel& model, WebViewSessions& sessions, Scheduler& scheduler) {
    auto webView = model.coordinator()->currentWebView();
    auto cookieManager = model.cookieManager();
    if (!webView || !cookieManager)
        return true;
    const auto owner = sessions.owner(*webView).value_or(model.coordinator()->profile().id);
    if (!sessions.isSessionLive(*webView)) {
        // The saved login was never put into this web view; saving its empty jar would
        // log the user out on the next start.
        logLine("   ℹ️ Session of profile " + owner.text() +
                " was not restored yet, keeping the saved one");
        return true;
    }

    // The answers may come after this function gave up waiting; they then write into these
    // shared flags, never into the stack.
    struct Progress {
        bool cookiesSaved = false;
        bool storageSaved = false;
    };
    auto progress = std::make_shared<Progress>();
    logLine("   💾 Saving cookies for profile: " + owner.text());
    cookieManager->saveCookies(owner, webView->sharedDataStore(),
                               [progress] { progress->cookiesSaved = true; });
    logLine("   💾 Saving storage for profile: " + owner.text());
    cookieManager->saveStorage(owner, webView, [progress] {
        logLine("   ✅ Saved cookies and storage before termination");
        progress->storageSaved = true;
    });

    const bool done =
        scheduler.runUntil([progress] { return progress->cookiesSaved && progress->storageSaved; }, kWait);
    logLine(done ? "   ✅ All data saved successfully"
                 : "   ⚠️ Save timed out, but proceeding with termination");
    return done;
}

} // namespace orvi
