#pragma once

#include "core/base/ProfileId.h"
#include "engine/DataStore.h"

#include <functional>
#include <string>

namespace orvi {

// Carries a session the user already has in a browser of this machine into a profile.
class BrowserCookieImportProtocol {
public:
    virtual ~BrowserCookieImportProtocol() = default;

    // Puts the service cookies found for `domain` into `dataStore`, saves them for the
    // profile, and reports how many were put (0 when none was found). The completion runs
    // once, on the main thread.
    virtual void importFromBrowser(const ProfileId& profileId, engine::DataStore& dataStore,
                                   const std::string& domain, std::function<void(int)> completion) = 0;
};

} // namespace orvi
