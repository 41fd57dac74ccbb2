#pragma once

#include "core/base/ProfileId.h"

#include <array>
#include <string>
#include <string_view>

namespace orvi::keys {

inline constexpr std::string_view kPrefix = "OrviWrapper.";
inline constexpr std::string_view kProfiles = "OrviWrapper.Profiles";
inline constexpr std::string_view kActiveProfileId = "OrviWrapper.ActiveProfileId";
inline constexpr std::string_view kCookiesPrefix = "OrviWrapper.Cookies.";
inline constexpr std::string_view kStoragePrefix = "OrviWrapper.Storage.";
inline constexpr std::string_view kLocationSettings = "OrviWrapper.LocationSettings";
inline constexpr std::string_view kBlockExternalLinks = "OrviWrapper.BlockExternalLinks";
inline constexpr std::string_view kNotificationsEnabled = "OrviWrapper.NotificationsEnabled";
inline constexpr std::string_view kMediaPermissionsEnabled = "OrviWrapper.MediaPermissionsEnabled";
inline constexpr std::string_view kIgnoreVPNWarning = "OrviWrapper.IgnoreVPNWarning";
inline constexpr std::string_view kLoadAllProfilesAtStartup = "OrviWrapper.LoadAllProfilesAtStartup";
// Minutes a profile's page may stay in the background before it is dropped; absent or 0: never.
inline constexpr std::string_view kHibernateAfterMinutes = "OrviWrapper.HibernateAfterMinutes";
inline constexpr std::string_view kWindowWidth = "OrviWrapper.WindowWidth";
inline constexpr std::string_view kWindowHeight = "OrviWrapper.WindowHeight";
inline constexpr std::string_view kEnableMaskingScript = "OrviWrapper.EnableMaskingScript";
inline constexpr std::string_view kUseTestPage = "OrviWrapper.UseTestPage";
// Absent: decided from the graphics driver at start; true or false overrides that decision.
inline constexpr std::string_view kHardwareAcceleration = "OrviWrapper.HardwareAcceleration";
inline constexpr std::string_view kChatExportRetryCount = "OrviWrapper.ChatExport.RetryCount";
inline constexpr std::string_view kChatExportWaitSeconds = "OrviWrapper.ChatExport.WaitSeconds";
inline constexpr std::string_view kChatExportDurationMinutes = "OrviWrapper.ChatExport.DurationMinutes";
inline constexpr std::string_view kLegacyCookies = "OrviWrapper.Cookies";
inline constexpr std::string_view kLegacyStorage = "OrviWrapper.Storage";
inline constexpr std::string_view kLegacyWindowSize = "OrviWrapper.WindowSize";

// The keys a container export carries, in this order.
inline constexpr std::array<std::string_view, 9> kContainerKeys = {
    kLegacyCookies,        kLegacyStorage,      kLocationSettings,
    kBlockExternalLinks,   kNotificationsEnabled, kMediaPermissionsEnabled,
    kProfiles,             kLegacyWindowSize,   kIgnoreVPNWarning,
};

inline std::string cookies(const ProfileId& id) { return std::string(kCookiesPrefix) + id.text(); }
inline std::string storage(const ProfileId& id) { return std::string(kStoragePrefix) + id.text(); }

} // namespace orvi::keys
