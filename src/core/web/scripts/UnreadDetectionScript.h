#pragma once

#include "core/base/ProfileId.h"

#include <string>

namespace orvi {

// The page script that counts unread messages and posts {count, profileId} to
// "unreadCountHandler". The identifier is baked into the text, so a web view keeps
// reporting for the profile it was first attached for.
std::string unreadDetectionScript(const ProfileId& profileId);

} // namespace orvi
