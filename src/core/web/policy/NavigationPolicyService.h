#pragma once

#include "core/web/policy/OrviDomains.h"
#include "engine/EngineTypes.h"
#include "platform/UriLauncher.h"

#include <memory>

namespace orvi {

enum class NavigationDecision { allow, cancel, download };

class NavigationPolicyServiceProtocol {
public:
    virtual ~NavigationPolicyServiceProtocol() = default;

    virtual NavigationDecision decide(const engine::NavigationAction& navigationAction) = 0;
};

// Judges every navigation the page starts by scheme and host: the service's own hosts, file
// links and a few font and script hosts pass; the app landing page and every other site are
// refused in the window. With external links unblocked, a web address outside the service
// that the user clicked (in place or into a new window) goes to the default browser
// instead, so the window stays on the service. Main thread only.
class NavigationPolicyService final : public NavigationPolicyServiceProtocol {
public:
    explicit NavigationPolicyService(OrviDomains domains, bool blockExternalLinks = true,
                                     std::shared_ptr<platform::UriLauncher> browser = nullptr);

    NavigationDecision decide(const engine::NavigationAction& navigationAction) override;

    bool blockExternalLinks() const { return m_blockExternalLinks; }
    void setBlockExternalLinks(bool block) { m_blockExternalLinks = block; }

    const OrviDomains& domains() const { return m_domains; }

private:
    // Only a user's own click leaves for the browser: a page must not be able to open
    // browser tabs by script, and only web addresses are handed over.
    bool isUserStartedWebLink(const engine::NavigationAction& action, const Url& url) const;

    OrviDomains m_domains;
    bool m_blockExternalLinks;
    std::shared_ptr<platform::UriLauncher> m_browser;
};

} // namespace orvi
