#include "core/page/UnreadDetectionService.h"

#include "core/web/scripts/UnreadDetectionScript.h"
#include "engine/WebView.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace orvi {

namespace {

// The script runs in our own world: it still sees the page's DOM, but the page cannot post
// fake counts to a handler it cannot reach.
constexpr engine::World kUnreadWorld = engine::World::client;

} // namespace

std::shared_ptr<UnreadDetectionService> UnreadDetectionService::create() {
    return std::shared_ptr<UnreadDetectionService>(new UnreadDetectionService());
}

Connection UnreadDetectionService::subscribeUnreadCount(std::function<void(const UnreadEvent&)> slot) {
    return m_unreadCountSubject.connect(std::move(slot));
}

void UnreadDetectionService::attach(const std::shared_ptr<engine::WebView>& webView,
                                    const ProfileId& profileId) {
    if (!webView)
        return;
    detach(webView);
    m_attachedWebViews[profileId] = webView;

    auto injected = m_injectedWebViews.find(webView.get());
    const bool alreadyInjected = injected != m_injectedWebViews.end() && injected->second.lock() == webView;
    if (!alreadyInjected) {
        webView->addUserScript(engine::UserScript{unreadDetectionScript(profileId),
                                                  engine::InjectionTime::documentEnd,
                                                  engine::FrameScope::mainFrameOnly, kUnreadWorld});
        m_injectedWebViews[webView.get()] = webView;
    }

    std::weak_ptr<UnreadDetectionService> weakSelf = weak_from_this();
    std::weak_ptr<engine::WebView> weakView = webView;
    webView->addScriptMessageHandler(kHandlerName, kUnreadWorld, [weakSelf, weakView](const Json& body) {
        auto self = weakSelf.lock();
        auto view = weakView.lock();
        if (!self || !view || (self->m_gate && !self->m_gate->admit(kHandlerName, *view, body)))
            return;
        self->receive(body);
    });
    // The script sends a count only when it changes, so a page taken over by a new listener
    // would stay silent until its next change: running it again makes it send the current one.
    if (alreadyInjected && !webView->url().empty())
        webView->evaluateJavaScript(unreadDetectionScript(profileId), kUnreadWorld,
                                    [](engine::ScriptResult) {});
}

void UnreadDetectionService::detach(const std::shared_ptr<engine::WebView>& webView) {
    if (!webView)
        return;
    webView->removeScriptMessageHandler(kHandlerName);
    for (auto it = m_attachedWebViews.begin(); it != m_attachedWebViews.end(); ++it) {
        if (it->second.lock() == webView) {
            m_attachedWebViews.erase(it);
            break;
        }
    }
    // Drop bookkeeping of destroyed web views so the map does not grow over a long run.
    std::erase_if(m_injectedWebViews, [](const auto& entry) { return entry.second.expired(); });
}

std::optional<UnreadEvent> UnreadDetectionService::eventFromMessage(const Json& body) {
    if (!body.is_object())
        return std::nullopt;
    auto count = body.find("count");
    auto profileText = body.find("profileId");
    if (count == body.end() || !count->is_number() || profileText == body.end() || !profileText->is_string())
        return std::nullopt;
    auto profileId = ProfileId::parse(profileText->get<std::string>());
    if (!profileId)
        return std::nullopt;

    // Negative counts are raised to 0; counts past the integer range are capped rather
    // than wrapped into a negative or small number.
    constexpr auto kMax = std::numeric_limits<int>::max();
    int value = 0;
    if (count->is_number_unsigned())
        value = static_cast<int>(std::min<std::uint64_t>(count->get<std::uint64_t>(), kMax));
    else if (count->is_number_integer())
        value = static_cast<int>(std::clamp<std::int64_t>(count->get<std::int64_t>(), 0, kMax));
    else {
        const double raw = count->get<double>();
        value = raw <= 0 ? 0 : raw >= kMax ? kMax : static_cast<int>(std::floor(raw));
    }
    return UnreadEvent{*profileId, value};
}

void UnreadDetectionService::receive(const Json& body) {
    if (auto event = eventFromMessage(body))
        m_unreadCountSubject.emit(*event);
}

} // namespace orvi
