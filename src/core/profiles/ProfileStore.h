#pragma once

#include "core/prefs/PreferencesStore.h"
#include "core/profiles/ProfileStoreProtocol.h"

#include <functional>
#include <string_view>

namespace orvi {

// Owns the profile list and the active profile for the whole process. Loading repairs what
// it can and writes the result back at once; afterwards every accepted change is written
// through. Invariants kept at all times: at least one profile, at least one of them
// persistent, the active profile is an element of the list, and names given through
// add/update are trimmed, non-empty and unique ignoring case.
class ProfileStore final : public ProfileStoreProtocol {
public:
    // Identifiers whose sessions outlived their profile records (see LeftoverSessions.h).
    using LeftoverSessions = std::function<std::vector<ProfileId>()>;

    explicit ProfileStore(PreferencesStore& userDefaults) : ProfileStore(userDefaults, {}) {}
    // When the stored list is missing or damaged, `leftoverSessions` names the sessions that
    // come back as profiles instead of being orphaned behind a new identifier.
    ProfileStore(PreferencesStore& userDefaults, const LeftoverSessions& leftoverSessions);

    const std::vector<Profile>& profiles() const override { return m_profiles.get(); }
    const Profile& activeProfile() const override { return m_activeProfile.get(); }
    void addProfile(Profile profile) override;
    void deleteProfile(const ProfileId& id) override;
    void setActiveProfile(const ProfileId& id) override;
    void updateProfile(Profile profile) override;

    Connection subscribeToProfiles(std::function<void(const std::vector<Profile>&)> slot) override {
        return m_profiles.subscribe(std::move(slot));
    }
    Connection subscribeToActiveProfile(std::function<void(const Profile&)> slot) override {
        return m_activeProfile.subscribe(std::move(slot));
    }

    // True when another profile (not `excluding`) already has this name, both trimmed and
    // compared ignoring case.
    bool hasDuplicateName(std::string_view name,
                          const std::optional<ProfileId>& excluding = std::nullopt) const;

    static constexpr std::string_view profilesKey = "OrviWrapper.Profiles";
    static constexpr std::string_view activeProfileIdKey = "OrviWrapper.ActiveProfileId";
    // An unreadable list is kept under this prefix plus a number before it is replaced.
    static constexpr std::string_view unreadableProfilesKeyPrefix = "OrviWrapper.Profiles.Unreadable.";

private:
    std::vector<Profile> loadProfiles(const LeftoverSessions& leftoverSessions);
    bool keepUnreadableList();
    Profile loadActiveProfile();
    void ensurePersistentInvariant();
    void refreshActiveFromList();
    void saveProfiles();
    void saveActiveProfile();

    PreferencesStore& m_userDefaults;
    Published<std::vector<Profile>> m_profiles;
    Published<Profile> m_activeProfile;
};

} // namespace orvi
