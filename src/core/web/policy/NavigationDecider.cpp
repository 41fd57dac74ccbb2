#include "core/web/policy/NavigationDecider.h"

#include "core/base/Log.h"
#include "core/web/policy/FileURLRules.h"

namespace orvi {

namespace {

constexpr std::string_view kMediaMimePrefixes[] = {"image/", "video/", "audio/"};

const char* boolText(bool value) {
    return value ? "true" : "false";
}

} // namespace

NavigationDecider::NavigationDecider(NavigationPolicyServiceProtocol& policy, OrviDomains domains,
                                     ManualDownloadStarter& downloadStarter)
    : m_policy(policy), m_domains(std::move(domains)), m_downloadStarter(downloadStarter) {}

std::string NavigationDecider::navigationTypeDescription(engine::NavigationType type) {
    switch (type) {
    case engine::NavigationType::linkActivated:
        return "linkActivated";
    case engine::NavigationType::formSubmitted:
        return "formSubmitted";
    case engine::NavigationType::backForward:
        return "backForward";
    case engine::NavigationType::reload:
        return "reload";
    case engine::NavigationType::formResubmitted:
        return "formResubmitted";
    case engine::NavigationType::other:
        return "other";
    }
    return "other";
}

void NavigationDecider::decideAction(engine::WebView& webView, const engine::NavigationAction& action,
                                     const DecisionHandler& decisionHandler) {
    const NavigationDecision decision = m_policy.decide(action);

    const auto url = Url::parse(action.url);
    const std::string host = url && url->host() ? *url->host() : std::string();
    const bool main = action.targetsMainFrame.value_or(true);
    if (hostMatchesRole(host, m_domains.fileHost))
        logLine("🧭 NavAction " + host +
                ": type=" + std::to_string(static_cast<int>(action.navigationType)) +
                " main=" + boolText(main) + " " + action.url);

    switch (decision) {
    case NavigationDecision::cancel:
        decisionHandler(engine::PolicyDecision::cancel);
        return;
    case NavigationDecision::download:
        decisionHandler(engine::PolicyDecision::download);
        return;
    case NavigationDecision::allow:
        break;
    }
    const engine::PolicyDecision refined = refineAllowedAction(action);
    // The engine gets its answer before the download is set up, so it is never kept waiting.
    decisionHandler(refined);
    if (refined == engine::PolicyDecision::cancel)
        m_downloadStarter.startManualDownload(webView, action.url, std::nullopt);
}

engine::PolicyDecision NavigationDecider::refineAllowedAction(const engine::NavigationAction& action) {
    if (action.shouldPerformDownload)
        return engine::PolicyDecision::download;

    const auto url = Url::parse(action.url);
    const std::string host = url && url->host() ? *url->host() : std::string();
    const bool main = action.targetsMainFrame.value_or(true);
    if (!main || hostMatchesRole(host, m_domains.serviceDomain))
        logLine("🔗 Nav: " + navigationTypeDescription(action.navigationType) + " main=" + boolText(main) +
                " " + action.url);

    // Only a click (or a navigation with no recorded cause) is fetched by hand: a form post,
    // reload or history step to the same URL must reach the server as the page intended.
    const bool clickLike = action.navigationType == engine::NavigationType::linkActivated ||
                           action.navigationType == engine::NavigationType::other;
    if (url && clickLike && isFileDownloadURL(*url, m_domains))
        return engine::PolicyDecision::cancel;
    return engine::PolicyDecision::allow;
}

void NavigationDecider::decideResponse(engine::WebView& webView, const engine::NavigationResponse& response,
                                       const DecisionHandler& decisionHandler) {
    const ResponseVerdict verdict = judgeResponse(response);
    decisionHandler(verdict.decision);
    if (verdict.fetchByHand)
        m_downloadStarter.startManualFileDownload(webView, response);
}

NavigationDecider::ResponseVerdict
NavigationDecider::judgeResponse(const engine::NavigationResponse& response) {
    const std::string mime = asciiLowercase(response.mimeType);
    for (const auto prefix : kMediaMimePrefixes)
        if (mime.starts_with(prefix))
            return {engine::PolicyDecision::download};

    const auto url = response.url.empty() ? std::nullopt : Url::parse(response.url);
    if (!response.isHTTP || !url || !url->host())
        return {engine::PolicyDecision::allow};
    const std::string& host = *url->host();

    const bool onService = hostMatchesRole(host, m_domains.serviceDomain);
    if (onService || hostMatchesRole(host, m_domains.fileHost))
        logLine("📎 Response: main=" + std::string(boolText(response.isForMainFrame)) + " mime=" + mime + " " +
                response.url);

    const bool attachment =
        asciiLowercase(response.header("Content-Disposition").value_or("")).find("attachment") !=
        std::string::npos;
    const bool downloadHost = hostMatchesRole(host, m_domains.downloadHost) ||
                              hostMatchesRole(host, m_domains.webDownloadHost) ||
                              hostMatchesRole(host, m_domains.fileHost);
    const bool binary = mime.starts_with("application/") && mime.find("json") == std::string::npos;
    const bool html = mime.starts_with("text/html");

    bool isFile = false;
    if (downloadHost) {
        // A page on a download host (the app offer) is neither shown nor saved.
        if (html && !attachment)
            return {engine::PolicyDecision::cancel};
        isFile = true;
    } else if (onService) {
        isFile = attachment || binary || isFileDownloadURL(*url, m_domains);
    }
    if (!isFile)
        return {engine::PolicyDecision::allow};
    if (response.isForMainFrame)
        return {engine::PolicyDecision::download};
    // A subframe cannot turn into a download; the file is fetched again outside it.
    return {engine::PolicyDecision::cancel, true};
}

} // namespace orvi
