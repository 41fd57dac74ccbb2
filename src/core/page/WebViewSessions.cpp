#include "core/page/WebViewSessions.h"

#include "engine/WebView.h"

namespace orvi {

void WebViewSessions::recordOwner(const std::shared_ptr<engine::WebView>& webView, const ProfileId& owner) {
    if (!webView)
        return;
    std::erase_if(m_entries, [](const auto& entry) { return entry.second.webView.expired(); });
    auto it = m_entries.find(webView.get());
    if (it != m_entries.end() && it->second.owner == owner)
        return;
    m_entries.insert_or_assign(webView.get(), Entry{webView, owner, false});
}

const WebViewSessions::Entry* WebViewSessions::find(const engine::WebView& webView) const {
    auto it = m_entries.find(&webView);
    if (it == m_entries.end() || it->second.webView.expired())
        return nullptr;
    return &it->second;
}

std::optional<ProfileId> WebViewSessions::owner(const engine::WebView& webView) const {
    if (const auto* entry = find(webView))
        return entry->owner;
    return std::nullopt;
}

void WebViewSessions::markSessionLive(const engine::WebView& webView) {
    auto it = m_entries.find(&webView);
    if (it != m_entries.end() && !it->second.webView.expired())
        it->second.live = true;
}

bool WebViewSessions::isSessionLive(const engine::WebView& webView) const {
    const auto* entry = find(webView);
    return entry && entry->live;
}

bool WebViewSessions::claimFirstAttach(const std::shared_ptr<engine::WebView>& webView) {
    std::erase_if(m_attached, [](const auto& entry) { return entry.second.expired(); });
    return m_attached.emplace(webView.get(), webView).second;
}

void WebViewSessions::forgetProfile(const ProfileId& profileId) {
    std::erase_if(m_entries, [&](const auto& entry) { return entry.second.owner == profileId; });
}

} // namespace orvi
