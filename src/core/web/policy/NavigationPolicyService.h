#pragma once

#include "core/web/policy/OrviDomains.h"
#include "engine/EngineTypes.h"

namespace orvi {

enum class NavigationDecision { allow, cancel, download };

class NavigationPolicyServiceProtocol {
public:
    virtual ~NavigationPolicyServiceProtocol() = default;

    virtual NavigationDecision decide(const engine::NavigationAction& navigationAction) = 0;
};

// Judges every navigation the page starts by scheme and host: the service's own hosts, file
// links and a few font and script hosts pass; the app landing page and every other site are
// refused. Nothing is ever handed to another application. Main thread only.
class NavigationPolicyService final : public NavigationPolicyServiceProtocol {
public:
    explicit NavigationPolicyService(OrviDomains domains, bool blockExternalLinks = true);

    NavigationDecision decide(const engine::NavigationAction& navigationAction) override;

    // Carried for the settings screen; external navigations are refused either way, because
    // what letting them through should mean (open where?) has never been settled.
    bool blockExternalLinks() const { return m_blockExternalLinks; }
    void setBlockExternalLinks(bool block) { m_blockExternalLinks = block; }

    const OrviDomains& domains() const { return m_domains; }

private:
    OrviDomains m_domains;
    bool m_blockExternalLinks;
};

} // namespace orvi
