#pragma once

#include "core/base/ProfileId.h"
#include "core/prefs/PreferencesStore.h"

#include <filesystem>
#include <vector>

namespace orvi {

// Identifiers that still own something of a session: saved cookies or storage in the
// preferences, or an engine folder named after them. When the profile list is lost these
// are the logins that can still be given back to the user. Sorted, each once.
std::vector<ProfileId> findLeftoverSessions(const PreferencesStore& preferences,
                                            const std::vector<std::filesystem::path>& engineFolders);

} // namespace orvi
