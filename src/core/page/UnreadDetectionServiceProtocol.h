#pragma once

#include "core/base/ProfileId.h"
#include "core/base/Signal.h"

#include <functional>
#include <memory>

namespace orvi {

namespace engine {
class WebView;
}

// One accepted unread report of a page; count is never negative.
struct UnreadEvent {
    ProfileId profileId;
    int count = 0;

    bool operator==(const UnreadEvent&) const = default;
};

class UnreadDetectionServiceProtocol {
public:
    virtual ~UnreadDetectionServiceProtocol() = default;

    // Subscribers hear every event from the moment they subscribe; nothing is replayed.
    [[nodiscard]] virtual Connection subscribeUnreadCount(std::function<void(const UnreadEvent&)> slot) = 0;
    virtual void attach(const std::shared_ptr<engine::WebView>& webView, const ProfileId& profileId) = 0;
    virtual void detach(const std::shared_ptr<engine::WebView>& webView) = 0;
};

} // namespace orvi
