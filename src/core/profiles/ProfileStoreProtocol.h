#pragma once

#include "core/base/ProfileId.h"
#include "core/base/Signal.h"
#include "core/profiles/Profile.h"

#include <functional>
#include <vector>

namespace orvi {

// How the rest of the application holds the profile store. Rejected changes (an empty or
// duplicate name, deleting the last profile, an unknown identifier) change nothing and
// report nothing: callers read `profiles()` afterwards when they need to know.
class ProfileStoreProtocol {
public:
    virtual ~ProfileStoreProtocol() = default;

    virtual const std::vector<Profile>& profiles() const = 0;
    virtual const Profile& activeProfile() const = 0;
    virtual void addProfile(Profile profile) = 0;
    virtual void deleteProfile(const ProfileId& id) = 0;
    virtual void setActiveProfile(const ProfileId& id) = 0;
    virtual void updateProfile(Profile profile) = 0;

    // Subscribers hear every assignment, an equal value included, on the thread that made
    // the change (the main thread).
    [[nodiscard]] virtual Connection
    subscribeToProfiles(std::function<void(const std::vector<Profile>&)> slot) = 0;
    [[nodiscard]] virtual Connection subscribeToActiveProfile(std::function<void(const Profile&)> slot) = 0;
};

} // namespace orvi
