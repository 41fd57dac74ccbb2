#pragma once

#include "core/base/ProfileId.h"
#include "engine/WebView.h"

#include <functional>
#include <memory>

namespace orvi {

// Keeps each profile's saved cookies in step with its data store. Main thread only. Every
// completion is called exactly once, also when the store or the sync goes away before the
// engine answers.
class CookieJarSyncProtocol {
public:
    using Done = std::function<void()>;

    virtual ~CookieJarSyncProtocol() = default;

    // Rewrites the profile's saved cookies from the store once it answers; an empty store
    // never overwrites a saved session. Fire and forget.
    virtual void saveCookies(const ProfileId& profileId,
                             const std::shared_ptr<engine::DataStore>& dataStore) = 0;
    // The same, with a completion called once the saved entry is written or the save was
    // given up (for the termination save, which must wait for it).
    virtual void saveCookies(const ProfileId& profileId, const std::shared_ptr<engine::DataStore>& dataStore,
                             Done completion) = 0;
    // Puts the saved cookies into the store; completion once they are all in (synchronously
    // when nothing usable is saved).
    virtual void restoreCookies(const ProfileId& profileId,
                                const std::shared_ptr<engine::DataStore>& dataStore, Done completion) = 0;
    // Forgets the saved cookies; the data store is not touched.
    virtual void clearCookies(const ProfileId& profileId) = 0;
};

} // namespace orvi
