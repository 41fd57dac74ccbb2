#include "core/web/policy/NavigationPolicyService.h"

#include "core/base/Log.h"
#include "core/web/policy/FileURLRules.h"

#include <algorithm>
#include <array>

namespace orvi {

namespace {

constexpr std::array<std::string_view, 4> kPassedSchemes = {"mailto", "tel", "sms", "facetime"};

} // namespace

NavigationPolicyService::NavigationPolicyService(OrviDomains domains, bool blockExternalLinks,
                                                 std::shared_ptr<platform::UriLauncher> browser)
    : m_domains(std::move(domains)), m_blockExternalLinks(blockExternalLinks), m_browser(std::move(browser)) {
}

bool NavigationPolicyService::isUserStartedWebLink(const engine::NavigationAction& action,
                                                   const Url& url) const {
    const bool web = url.scheme() == "http" || url.scheme() == "https";
    const bool clicked =
        action.navigationType == engine::NavigationType::linkActivated || action.opensNewWindow;
    return web && clicked && action.isUserGesture;
}

NavigationDecision NavigationPolicyService::decide(const engine::NavigationAction& navigationAction) {
    // An unreadable URL counts as none: what we cannot read we do not let through.
    const auto url = Url::parse(navigationAction.url);
    if (navigationAction.url.empty() || !url)
        return NavigationDecision::cancel;

    if (std::find(kPassedSchemes.begin(), kPassedSchemes.end(), url->scheme()) != kPassedSchemes.end())
        return NavigationDecision::allow;
    if (!url->hasScheme() || !url->host())
        return NavigationDecision::allow;

    const std::string& host = *url->host();
    if (m_domains.isWebHost(host))
        return NavigationDecision::allow;
    if (hostContains(host, m_domains.downloadHost) || hostContains(host, m_domains.webDownloadHost))
        return NavigationDecision::allow;
    if (hostContains(host, m_domains.landingHost)) {
        logLine("⚠️ Blocked navigation to app download page: " + url->absoluteString());
        return NavigationDecision::cancel;
    }
    if (isFileLikeURL(*url, m_domains))
        return NavigationDecision::allow;
    if (hostContains(host, m_domains.serviceDomain))
        return NavigationDecision::allow;
    for (const auto& outside : m_domains.outsideHosts)
        if (hostContains(host, outside))
            return NavigationDecision::allow;
    if (!m_blockExternalLinks && m_browser && isUserStartedWebLink(navigationAction, *url)) {
        logLine("🌐 Opening external link in the default browser: " + url->absoluteString());
        m_browser->launch(url->absoluteString());
    }
    return NavigationDecision::cancel;
}

} // namespace orvi
