#pragma once

#include "core/profiles/Profile.h"

#include <string>

namespace orvi::test {

// A default profile with the given identity and name.
inline Profile namedProfile(const ProfileId& id, std::string name) {
    Profile profile = Profile::makeDefault();
    profile.id = id;
    profile.name = std::move(name);
    return profile;
}

} // namespace orvi::test
