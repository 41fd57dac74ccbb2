#pragma once

#include "core/base/Json.h"
#include "core/page/PageMessageGate.h"
#include "core/page/UnreadDetectionServiceProtocol.h"

#include <map>
#include <memory>
#include <optional>

namespace orvi {

// Injects the unread script into each web view once and republishes what the pages post
// as (profile, count) events. One instance serves every profile; main thread only.
class UnreadDetectionService final : public UnreadDetectionServiceProtocol,
                                     public std::enable_shared_from_this<UnreadDetectionService> {
public:
    static constexpr const char* kHandlerName = "unreadCountHandler";

    static std::shared_ptr<UnreadDetectionService> create();

    Connection subscribeUnreadCount(std::function<void(const UnreadEvent&)> slot) override;
    void attach(const std::shared_ptr<engine::WebView>& webView, const ProfileId& profileId) override;
    void detach(const std::shared_ptr<engine::WebView>& webView) override;

    // Reports pass only through this gate when one is set: from a service page, within a
    // rate, of a sane size.
    void setMessageGate(std::shared_ptr<PageMessageGate> gate) { m_gate = std::move(gate); }

    // Validates one posted body; none when it must be ignored.
    static std::optional<UnreadEvent> eventFromMessage(const Json& body);

private:
    UnreadDetectionService() = default;
    void receive(const Json& body);

    Signal<UnreadEvent> m_unreadCountSubject;
    std::shared_ptr<PageMessageGate> m_gate;
    // Keyed by address; the weak pointer tells a live web view from a new one that happens
    // to reuse the address of a destroyed one.
    std::map<const engine::WebView*, std::weak_ptr<engine::WebView>> m_injectedWebViews;
    std::map<ProfileId, std::weak_ptr<engine::WebView>> m_attachedWebViews;
};

} // namespace orvi
