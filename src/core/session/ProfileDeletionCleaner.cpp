#include "core/session/ProfileDeletionCleaner.h"

#include "core/base/Log.h"
#include "core/profiles/ProfileStoreProtocol.h"

#include <system_error>

namespace orvi {

namespace {

std::set<ProfileId> identifiers(const std::vector<Profile>& profiles) {
    std::set<ProfileId> ids;
    for (const auto& profile : profiles)
        ids.insert(profile.id);
    return ids;
}

} // namespace

ProfileDeletionCleaner::ProfileDeletionCleaner(ProfileStoreProtocol& store, std::vector<Forget> forgetters,
                                               std::vector<std::filesystem::path> engineFolders)
    : m_forgetters(std::move(forgetters)), m_engineFolders(std::move(engineFolders)),
      m_known(identifiers(store.profiles())) {
    m_subscription = store.subscribeToProfiles(
        [this](const std::vector<Profile>& profiles) { profilesChanged(identifiers(profiles)); });
}

void ProfileDeletionCleaner::profilesChanged(const std::set<ProfileId>& current) {
    std::vector<ProfileId> removed;
    for (const auto& id : m_known) {
        if (!current.count(id))
            removed.push_back(id);
    }
    m_known = current;
    for (const auto& id : removed) {
        for (const auto& forget : m_forgetters)
            forget(id);
        for (const auto& folder : m_engineFolders) {
            std::error_code error;
            const auto path = folder / id.text();
            if (std::filesystem::remove_all(path, error) > 0 && !error)
                logLine("🗑️ Removed engine data folder: " + path.string());
            else if (error)
                logLine("❌ Failed to remove engine data folder " + path.string() + ": " + error.message());
        }
    }
}

} // namespace orvi
