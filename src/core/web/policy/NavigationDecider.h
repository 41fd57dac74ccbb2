#pragma once

#include "core/web/policy/ManualDownloadStarter.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "core/web/policy/OrviDomains.h"
#include "engine/WebView.h"

#include <functional>
#include <string>

namespace orvi {

// Applies the navigation policy for one coordinator: refines allowed actions into downloads
// and judges responses by MIME type, disposition and host, so that files never replace the
// page. Each decision handler is called exactly once, before the call returns.
class NavigationDecider {
public:
    using DecisionHandler = std::function<void(engine::PolicyDecision)>;

    NavigationDecider(NavigationPolicyServiceProtocol& policy, OrviDomains domains,
                      ManualDownloadStarter& downloadStarter);

    void decideAction(engine::WebView& webView, const engine::NavigationAction& action,
                      const DecisionHandler& decisionHandler);
    void decideResponse(engine::WebView& webView, const engine::NavigationResponse& response,
                        const DecisionHandler& decisionHandler);

    // The names the "🔗 Nav:" line prints for navigation types.
    static std::string navigationTypeDescription(engine::NavigationType type);

private:
    struct ResponseVerdict {
        engine::PolicyDecision decision;
        bool fetchByHand = false;
    };

    // Cancel here means: fetch the link by hand.
    engine::PolicyDecision refineAllowedAction(const engine::NavigationAction& action);
    ResponseVerdict judgeResponse(const engine::NavigationResponse& response);

    NavigationPolicyServiceProtocol& m_policy;
    OrviDomains m_domains;
    ManualDownloadStarter& m_downloadStarter;
};

} // namespace orvi
