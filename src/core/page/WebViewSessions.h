#pragma once

#include "core/base/ProfileId.h"

#include <map>
#include <memory>
#include <optional>

namespace orvi {

namespace engine {
class WebView;
}

// What the application knows about each web view's session: the profile it was built for
// (for its whole life) and whether that profile's saved session has been put into it.
// Saving from a web view whose session was never restored would overwrite the profile's
// saved login with an empty jar, so savers ask first. Main thread only.
class WebViewSessions {
public:
    void recordOwner(const std::shared_ptr<engine::WebView>& webView, const ProfileId& owner);
    std::optional<ProfileId> owner(const engine::WebView& webView) const;

    void markSessionLive(const engine::WebView& webView);
    bool isSessionLive(const engine::WebView& webView) const;

    // True only the first time it is asked for a web view: a user script stays with the web
    // view it was added to, so a cached view attached again must not get it twice.
    bool claimFirstAttach(const std::shared_ptr<engine::WebView>& webView);

    // A deleted profile's web views are no longer anyone's to save.
    void forgetProfile(const ProfileId& profileId);

private:
    struct Entry {
        std::weak_ptr<engine::WebView> webView;
        ProfileId owner;
        bool live = false;
    };
    const Entry* find(const engine::WebView& webView) const;

    std::map<const engine::WebView*, Entry> m_entries;
    std::map<const engine::WebView*, std::weak_ptr<engine::WebView>> m_attached;
};

} // namespace orvi
