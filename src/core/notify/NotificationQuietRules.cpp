#include "core/notify/NotificationQuietRules.h"

#include "core/base/Json.h"
#include "core/prefs/PreferenceKeys.h"

#include <algorithm>
#include <ctime>

namespace orvi {

namespace {

// Stored in place of an end time while do not disturb lasts until the user turns it off.
constexpr std::int64_t kUntilTurnedOff = -1;
constexpr int kMorningHour = 8;

std::int64_t secondsOf(std::chrono::system_clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

} // namespace

NotificationQuietRules::NotificationQuietRules(PreferencesStore& preferences, WallClock wallClock)
    : m_preferences(preferences), m_wallClock(std::move(wallClock)) {}

bool NotificationQuietRules::allows(const ProfileId& profileId) const {
    // Never written reads as on: a fresh install notifies.
    if (m_preferences.contains(keys::kNotificationsEnabled) &&
        !m_preferences.boolean(keys::kNotificationsEnabled))
        return false;
    return !isDoNotDisturbOn() && !isProfileSilenced(profileId);
}

void NotificationQuietRules::startDoNotDisturb(DoNotDisturb kind) {
    const auto now = m_wallClock();
    std::int64_t until = kUntilTurnedOff;
    if (kind == DoNotDisturb::forOneHour)
        until = secondsOf(now + std::chrono::hours(1));
    else if (kind == DoNotDisturb::untilMorning)
        until = secondsOf(nextMorning(now));
    m_preferences.setInteger(kDoNotDisturbUntilKey, until);
    m_preferences.setInteger(kDoNotDisturbKindKey, static_cast<std::int64_t>(kind));
}

void NotificationQuietRules::stopDoNotDisturb() {
    m_preferences.remove(kDoNotDisturbUntilKey);
    m_preferences.remove(kDoNotDisturbKindKey);
}

std::optional<DoNotDisturb> NotificationQuietRules::doNotDisturbKind() const {
    if (!isDoNotDisturbOn())
        return std::nullopt;
    const auto kind = m_preferences.integer(kDoNotDisturbKindKey).value_or(-1);
    if (kind == static_cast<std::int64_t>(DoNotDisturb::forOneHour))
        return DoNotDisturb::forOneHour;
    if (kind == static_cast<std::int64_t>(DoNotDisturb::untilMorning))
        return DoNotDisturb::untilMorning;
    return DoNotDisturb::untilTurnedOff;
}

bool NotificationQuietRules::isDoNotDisturbOn() const {
    const auto until = m_preferences.integer(kDoNotDisturbUntilKey);
    if (!until)
        return false;
    return *until == kUntilTurnedOff || secondsOf(m_wallClock()) < *until;
}

std::optional<std::chrono::system_clock::time_point> NotificationQuietRules::doNotDisturbEnd() const {
    const auto until = m_preferences.integer(kDoNotDisturbUntilKey);
    if (!until || *until == kUntilTurnedOff || !isDoNotDisturbOn())
        return std::nullopt;
    return std::chrono::system_clock::time_point(std::chrono::seconds(*until));
}

std::vector<std::string> NotificationQuietRules::silentProfiles() const {
    const auto stored = m_preferences.data(kSilentProfilesKey);
    if (!stored)
        return {};
    const auto json = parseJson(*stored);
    std::vector<std::string> ids;
    if (json && json->is_array())
        for (const auto& item : *json)
            if (item.is_string())
                ids.push_back(item.get<std::string>());
    return ids;
}

void NotificationQuietRules::setProfileSilenced(const ProfileId& profileId, bool silenced) {
    auto ids = silentProfiles();
    std::erase(ids, profileId.text());
    if (silenced)
        ids.push_back(profileId.text());
    m_preferences.setData(kSilentProfilesKey, Json(ids).dump());
}

bool NotificationQuietRules::isProfileSilenced(const ProfileId& profileId) const {
    const auto ids = silentProfiles();
    return std::find(ids.begin(), ids.end(), profileId.text()) != ids.end();
}

std::chrono::system_clock::time_point
NotificationQuietRules::nextMorning(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const bool beforeMorning = local.tm_hour < kMorningHour;
    local.tm_hour = kMorningHour;
    local.tm_min = 0;
    local.tm_sec = 0;
    if (!beforeMorning)
        ++local.tm_mday;
    // Let the library work out daylight saving on the target day.
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

} // namespace orvi
