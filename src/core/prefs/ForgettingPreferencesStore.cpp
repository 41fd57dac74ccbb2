#include "core/prefs/ForgettingPreferencesStore.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"

namespace orvi {

void ForgettingPreferencesStore::forgetProfile(const ProfileId& profileId) {
    const auto cookies = keys::cookies(profileId);
    const auto storage = keys::storage(profileId);
    std::lock_guard lock(m_mutex);
    m_forgottenKeys.insert(cookies);
    m_forgottenKeys.insert(storage);
    m_store.remove(cookies);
    m_store.remove(storage);
}

bool ForgettingPreferencesStore::isForgotten(std::string_view key) const {
    if (m_forgottenKeys.find(key) == m_forgottenKeys.end())
        return false;
    logLine("🗑️ Not saving " + std::string(key) + ": the profile was deleted");
    return true;
}

bool ForgettingPreferencesStore::setData(std::string_view key, std::string_view bytes) {
    std::lock_guard lock(m_mutex);
    return !isForgotten(key) && m_store.setData(key, bytes);
}

bool ForgettingPreferencesStore::setString(std::string_view key, std::string_view text) {
    std::lock_guard lock(m_mutex);
    return !isForgotten(key) && m_store.setString(key, text);
}

bool ForgettingPreferencesStore::setBoolean(std::string_view key, bool value) {
    std::lock_guard lock(m_mutex);
    return !isForgotten(key) && m_store.setBoolean(key, value);
}

bool ForgettingPreferencesStore::setNumber(std::string_view key, double value) {
    std::lock_guard lock(m_mutex);
    return !isForgotten(key) && m_store.setNumber(key, value);
}

bool ForgettingPreferencesStore::setInteger(std::string_view key, std::int64_t value) {
    std::lock_guard lock(m_mutex);
    return !isForgotten(key) && m_store.setInteger(key, value);
}

} // namespace orvi
