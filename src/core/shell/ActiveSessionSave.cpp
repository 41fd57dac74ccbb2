#include "core/shell/ActiveSessionSave.h"

#include "core/base/Log.h"
#include "core/page/WebViewSessions.h"
#include "core/shell/MainWebViewModel.h"

#include <memory>
#include <utility>
#include <vector>

namespace orvi {

TerminationSave::Hook ActiveSessionSave::hook(MainWebViewModel& model, WebViewSessions& sessions) {
    return [&model, &sessions](TerminationSave::Done done) {
        const auto sessionSync = model.sessionSync();
        if (!sessionSync)
            return TerminationSave::Started::nothingToSave;
        // A page off screen may hold a login rotated since its last periodic save.
        std::vector<std::pair<ProfileId, std::shared_ptr<engine::WebView>>> pages;
        for (auto& [owner, webView] : model.livePages()) {
            if (sessions.isSessionLive(*webView)) {
                pages.emplace_back(owner, webView);
                continue;
            }
            // The saved login was never put into this web view; saving its jar would log the
            // user out on the next start.
            logLine("   ℹ️ Session of profile " + owner.text() +
                    " was not restored yet, keeping the saved one");
        }
        if (pages.empty())
            return TerminationSave::Started::nothingToSave;

        // Two answers per page make one "done"; they may arrive after the wait gave up.
        auto remaining = std::make_shared<std::size_t>(2 * pages.size());
        auto oneAnswered = [remaining, done] {
            if (--*remaining == 0)
                done();
        };
        for (const auto& [owner, webView] : pages) {
            logLine("   💾 Saving cookies for profile: " + owner.text());
            sessionSync.cookieJar->saveCookies(owner, webView->sharedDataStore(), oneAnswered);
            logLine("   💾 Saving storage for profile: " + owner.text());
            sessionSync.storage->saveStorage(owner, webView, [oneAnswered] {
                logLine("   ✅ Saved cookies and storage before termination");
                oneAnswered();
            });
        }
        return TerminationSave::Started::saving;
    };
}

} // namespace orvi
