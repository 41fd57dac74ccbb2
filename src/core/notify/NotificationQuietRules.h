#pragma once

#include "core/base/ProfileId.h"
#include "core/prefs/PreferencesStore.h"

#include <chrono>
#include <functional>
#include <optional>

namespace orvi {

inline constexpr std::string_view kDoNotDisturbUntilKey = "OrviWrapper.DoNotDisturbUntil";
inline constexpr std::string_view kDoNotDisturbKindKey = "OrviWrapper.DoNotDisturbKind";
inline constexpr std::string_view kSilentProfilesKey = "OrviWrapper.SilentProfiles";

enum class DoNotDisturb { forOneHour, untilMorning, untilTurnedOff };

// Whether a rise may be shown as a notification: the user's switch, do not disturb and a
// profile's own silence. Everything is read from the preferences store at each question, so
// a change made on any screen counts from the next rise on. Main thread only.
class NotificationQuietRules final {
public:
    using WallClock = std::function<std::chrono::system_clock::time_point()>;

    NotificationQuietRules(PreferencesStore& preferences, WallClock wallClock);

    bool allows(const ProfileId& profileId) const;

    void startDoNotDisturb(DoNotDisturb kind);
    void stopDoNotDisturb();
    bool isDoNotDisturbOn() const;
    // Which one the user chose, while it lasts.
    std::optional<DoNotDisturb> doNotDisturbKind() const;
    // When it ends by itself; none while off or on until turned off.
    std::optional<std::chrono::system_clock::time_point> doNotDisturbEnd() const;

    void setProfileSilenced(const ProfileId& profileId, bool silenced);
    bool isProfileSilenced(const ProfileId& profileId) const;

    // The next 08:00 local time after the moment.
    static std::chrono::system_clock::time_point nextMorning(std::chrono::system_clock::time_point now);

private:
    std::vector<std::string> silentProfiles() const;

    PreferencesStore& m_preferences;
    WallClock m_wallClock;
};

} // namespace orvi
