#pragma once

#include "core/base/ProfileId.h"
#include "core/base/Signal.h"

#include <filesystem>
#include <functional>
#include <set>
#include <vector>

namespace orvi {

class ProfileStoreProtocol;

// Makes a deleted profile leave no trace: every part that keeps something per profile is
// told (saved session entries, web view bookkeeping, unread totals), and the engine's data
// and cache folders of the profile are removed. Main thread only.
class ProfileDeletionCleaner {
public:
    using Forget = std::function<void(const ProfileId&)>;

    // engineFolders are the parents of the per-profile engine folders (data and cache).
    ProfileDeletionCleaner(ProfileStoreProtocol& store, std::vector<Forget> forgetters,
                           std::vector<std::filesystem::path> engineFolders);

private:
    void profilesChanged(const std::set<ProfileId>& current);

    std::vector<Forget> m_forgetters;
    std::vector<std::filesystem::path> m_engineFolders;
    std::set<ProfileId> m_known;
    Connection m_subscription;
};

} // namespace orvi
