#include "core/profiles/ProfileStore.h"

#include "core/base/Log.h"
#include "core/base/TextFolding.h"
#include "core/prefs/PreferenceKeys.h"

#include <algorithm>

namespace orvi {
namespace {

bool hasPersistent(const std::vector<Profile>& profiles) {
    return std::any_of(profiles.begin(), profiles.end(),
                       [](const Profile& p) { return p.storageType == StorageType::persistentMain; });
}

// Values typed by the user arrive here; keep the stored list encodable.
Profile sanitized(Profile profile) {
    profile.name = text::trimmed(profile.name);
    profile.locationSettings = profile.locationSettings.withFiniteCoordinates();
    return profile;
}

} // namespace

ProfileStore::ProfileStore(PreferencesStore& userDefaults, const LeftoverSessions& leftoverSessions)
    : m_userDefaults(userDefaults), m_profiles(loadProfiles(leftoverSessions)),
      m_activeProfile(loadActiveProfile()) {
    ensurePersistentInvariant();
    saveProfiles();
    saveActiveProfile();
}

std::vector<Profile> ProfileStore::loadProfiles(const LeftoverSessions& leftoverSessions) {
    std::vector<Profile> profiles;
    bool intact = false;
    bool madeDefault = false;
    auto data = m_userDefaults.data(profilesKey);
    if (!data && m_userDefaults.contains(profilesKey)) {
        logLine("⚠️ Saved profiles are not stored as data");
        keepUnreadableList();
        madeDefault = true;
    } else if (!data) {
        logLine("ℹ️ No saved profiles found, creating default profile");
        madeDefault = true;
    } else if (auto decoded = decodeProfiles(*data)) {
        profiles = std::move(decoded).value();
        logLine("✅ Loaded " + std::to_string(profiles.size()) + " profiles from UserDefaults");
        intact = !profiles.empty();
        // An empty stored array would leave the active profile outside the list; treat it
        // like no list at all so that the active profile is always one of `profiles`.
        if (profiles.empty()) {
            logLine("ℹ️ No saved profiles found, creating default profile");
            madeDefault = true;
        }
    } else {
        logLine("⚠️ Failed to decode profiles: " + decoded.error().message);
        logLine("   Attempting to fix corrupted data...");
        keepUnreadableList();
        auto recovered = recoverProfiles(*data);
        if (!recovered) {
            logLine("   ❌ Could not parse JSON, creating default profile");
            madeDefault = true;
        } else if (recovered->empty()) {
            logLine("   ❌ Could not recover any profiles, creating default");
            madeDefault = true;
        } else {
            profiles = std::move(*recovered);
            logLine("   ✅ Recovered " + std::to_string(profiles.size()) + " profiles from corrupted data");
        }
    }
    if (!intact && leftoverSessions) {
        int number = 0;
        for (const auto& id : leftoverSessions()) {
            if (std::any_of(profiles.begin(), profiles.end(), [&](const Profile& p) { return p.id == id; }))
                continue;
            Profile profile = Profile::makeDefault();
            profile.id = id;
            do
                profile.name = "Восстановленный профиль " + std::to_string(++number);
            while (std::any_of(profiles.begin(), profiles.end(), [&](const Profile& p) {
                return text::caseFolded(p.name) == text::caseFolded(profile.name);
            }));
            logLine("♻️ Brought back the session of " + id.text() + " as profile \"" + profile.name +
                    "\"");
            profiles.push_back(std::move(profile));
        }
    }
    if (profiles.empty() && madeDefault)
        profiles.push_back(Profile::makeDefault());
    for (auto& profile : profiles)
        if (profile.storageType == StorageType::ephemeral)
            profile.storageType = StorageType::persistentMain;
    return profiles;
}

// Keeps the stored list as it is under a key of its own before loading writes a repaired
// one over it: whatever recovery could not read may still be read by hand.
bool ProfileStore::keepUnreadableList() {
    std::string key;
    for (int n = 1; key.empty() || m_userDefaults.contains(key); ++n)
        key = std::string(unreadableProfilesKeyPrefix) + std::to_string(n);
    bool kept = false;
    if (auto data = m_userDefaults.data(profilesKey))
        kept = m_userDefaults.setData(key, *data);
    else if (auto text = m_userDefaults.string(profilesKey))
        kept = m_userDefaults.setString(key, *text);
    else if (auto integer = m_userDefaults.integer(profilesKey))
        kept = m_userDefaults.setInteger(key, *integer);
    else
        kept = m_userDefaults.setNumber(key, m_userDefaults.number(profilesKey));
    if (kept)
        logLine("💾 Kept the unreadable profile list under " + key);
    else
        logLine("❌ Failed to keep the unreadable profile list under " + key);
    return kept;
}

Profile ProfileStore::loadActiveProfile() {
    const auto& profiles = m_profiles.get();
    if (auto text = m_userDefaults.string(activeProfileIdKey)) {
        if (auto id = ProfileId::parse(*text)) {
            auto it =
                std::find_if(profiles.begin(), profiles.end(), [&](const Profile& p) { return p.id == *id; });
            if (it != profiles.end())
                return *it;
        }
    }
    return profiles.front();
}

bool ProfileStore::hasDuplicateName(std::string_view name, const std::optional<ProfileId>& excluding) const {
    const auto candidate = text::caseFolded(text::trimmed(name));
    return std::any_of(m_profiles.get().begin(), m_profiles.get().end(), [&](const Profile& p) {
        if (excluding && p.id == *excluding)
            return false;
        return text::caseFolded(text::trimmed(p.name)) == candidate;
    });
}

void ProfileStore::addProfile(Profile profile) {
    profile = sanitized(std::move(profile));
    if (profile.name.empty() || hasDuplicateName(profile.name))
        return;
    auto profiles = m_profiles.get();
    // A second profile with an existing identifier would share that profile's data store
    // and session keys, and deleting one would delete both.
    if (std::any_of(profiles.begin(), profiles.end(), [&](const Profile& p) { return p.id == profile.id; }))
        return;
    if (profile.storageType == StorageType::ephemeral && profiles.empty())
        profile.storageType = StorageType::persistentMain;
    profiles.push_back(std::move(profile));
    m_profiles.set(std::move(profiles));
    saveProfiles();
    ensurePersistentInvariant();
}

void ProfileStore::deleteProfile(const ProfileId& id) {
    if (m_profiles.get().size() < 2)
        return;
    m_userDefaults.remove(keys::cookies(id));
    m_userDefaults.remove(keys::storage(id));
    m_userDefaults.synchronize();

    auto profiles = m_profiles.get();
    std::erase_if(profiles, [&](const Profile& p) { return p.id == id; });
    if (profiles.empty())
        return;
    if (!hasPersistent(profiles))
        profiles.front().storageType = StorageType::persistentMain;
    m_profiles.set(std::move(profiles));
    if (m_activeProfile.get().id == id) {
        m_activeProfile.set(m_profiles.get().front());
        saveActiveProfile();
    } else {
        refreshActiveFromList();
    }
    saveProfiles();
    ensurePersistentInvariant();
}

void ProfileStore::setActiveProfile(const ProfileId& id) {
    const auto& profiles = m_profiles.get();
    auto it = std::find_if(profiles.begin(), profiles.end(), [&](const Profile& p) { return p.id == id; });
    if (it == profiles.end())
        return;
    m_activeProfile.set(*it);
    saveActiveProfile();
}

void ProfileStore::updateProfile(Profile profile) {
    profile = sanitized(std::move(profile));
    auto profiles = m_profiles.get();
    auto it =
        std::find_if(profiles.begin(), profiles.end(), [&](const Profile& p) { return p.id == profile.id; });
    if (it == profiles.end() || profile.name.empty() || hasDuplicateName(profile.name, profile.id))
        return;
    *it = profile;
    m_profiles.set(std::move(profiles));
    if (m_activeProfile.get().id == profile.id) {
        m_activeProfile.set(profile);
        saveActiveProfile();
    }
    saveProfiles();
    ensurePersistentInvariant();
}

void ProfileStore::ensurePersistentInvariant() {
    if (m_profiles.get().empty() || hasPersistent(m_profiles.get()))
        return;
    auto profiles = m_profiles.get();
    profiles.front().storageType = StorageType::persistentMain;
    m_profiles.set(std::move(profiles));
    saveProfiles();
    refreshActiveFromList();
}

// The invariant may change the active profile's record behind its back; observers of the
// active profile (the web view factory picks the data store by storage type) must see the
// record that is stored, not a stale copy.
void ProfileStore::refreshActiveFromList() {
    const auto& profiles = m_profiles.get();
    auto it = std::find_if(profiles.begin(), profiles.end(),
                           [&](const Profile& p) { return p.id == m_activeProfile.get().id; });
    if (it != profiles.end() && !(*it == m_activeProfile.get()))
        m_activeProfile.set(*it);
}

void ProfileStore::saveProfiles() {
    const auto& profiles = m_profiles.get();
    const auto text = encodeProfiles(profiles);
    if (!m_userDefaults.setData(profilesKey, text)) {
        logLine("❌ Failed to save " + std::to_string(profiles.size()) + " profiles to UserDefaults");
        return;
    }
    m_userDefaults.synchronize();
    logLine("💾 Saved " + std::to_string(profiles.size()) + " profiles to UserDefaults");
}

void ProfileStore::saveActiveProfile() {
    const auto& active = m_activeProfile.get();
    if (!m_userDefaults.setString(activeProfileIdKey, active.id.text())) {
        logLine("❌ Failed to save active profile: " + active.name + " (" + active.id.text() + ")");
        return;
    }
    m_userDefaults.synchronize();
    logLine("💾 Saved active profile: " + active.name + " (" + active.id.text() + ")");
}

} // namespace orvi
