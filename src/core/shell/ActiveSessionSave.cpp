#include "core/shell/ActiveSessionSave.h"

#include "core/base/Log.h"
#include "core/page/WebViewSessions.h"
#include "core/shell/MainWebViewModel.h"

#include <memory>

namespace orvi {

TerminationSave::Hook ActiveSessionSave::hook(MainWebViewModel& model, WebViewSessions& sessions) {
    return [&model, &sessions](TerminationSave::Done done) {
        auto webView = model.coordinator()->currentWebView();
        const auto sessionSync = model.sessionSync();
        if (!webView || !sessionSync)
            return TerminationSave::Started::nothingToSave;
        const auto owner = sessions.owner(*webView).value_or(model.coordinator()->profile().id);
        if (!sessions.isSessionLive(*webView)) {
            // The saved login was never put into this web view; saving its jar would log the
            // user out on the next start.
            logLine("   ℹ️ Session of profile " + owner.text() +
                    " was not restored yet, keeping the saved one");
            return TerminationSave::Started::nothingToSave;
        }

        // Two answers make one "done"; they may arrive after the wait gave up.
        auto remaining = std::make_shared<int>(2);
        auto oneAnswered = [remaining, done] {
            if (--*remaining == 0)
                done();
        };
        logLine("   💾 Saving cookies for profile: " + owner.text());
        sessionSync.cookieJar->saveCookies(owner, webView->sharedDataStore(), oneAnswered);
        logLine("   💾 Saving storage for profile: " + owner.text());
        sessionSync.storage->saveStorage(owner, webView, [oneAnswered] {
            logLine("   ✅ Saved cookies and storage before termination");
            oneAnswered();
        });
        return TerminationSave::Started::saving;
    };
}

} // namespace orvi
