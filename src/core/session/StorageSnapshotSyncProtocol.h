#pragma once

#include "core/base/ProfileId.h"
#include "engine/WebView.h"

#include <functional>
#include <memory>

namespace orvi {

// Keeps each profile's saved localStorage and sessionStorage in step with its page. Main
// thread only; every completion is called exactly once.
class StorageSnapshotSyncProtocol {
public:
    using Done = std::function<void()>;

    virtual ~StorageSnapshotSyncProtocol() = default;

    // Captures the page's localStorage and sessionStorage when the page is on the service
    // host; completion once the page answered, whatever the outcome.
    virtual void saveStorage(const ProfileId& profileId, const std::shared_ptr<engine::WebView>& webView,
                             Done completion) = 0;
    // Writes the saved snapshot into the page when it is on the service host; completion
    // after both stores were written (synchronously when there is nothing to write).
    virtual void restoreStorage(const ProfileId& profileId, const std::shared_ptr<engine::WebView>& webView,
                                Done completion) = 0;
};

} // namespace orvi
