#include "core/profiles/ProfilesViewModel.h"

#include "core/base/TextFolding.h"
#include "core/page/WebViewFactory.h"
#include "core/session/BrowserCookieImportProtocol.h"

#include <algorithm>
#include <cmath>

namespace orvi {

ProfilesViewModel::ProfilesViewModel(ProfileStoreProtocol& profileStore,
                                     std::shared_ptr<WebViewFactoryProtocol> webViewFactory,
                                     std::shared_ptr<BrowserCookieImportProtocol> browserImport)
    : profiles(profileStore.profiles()), m_profileStore(profileStore),
      m_webViewFactory(std::move(webViewFactory)), m_browserImport(std::move(browserImport)) {
    m_mirror =
        m_profileStore.subscribeToProfiles([this](const std::vector<Profile>& list) { profiles.set(list); });
}

std::string ProfilesViewModel::normalizedProfileName(std::string_view name) {
    return text::trimmed(name);
}

bool ProfilesViewModel::isProfileNameAvailable(std::string_view name,
                                               const std::optional<ProfileId>& excluding) const {
    const auto normalized = normalizedProfileName(name);
    if (normalized.empty())
        return false;
    for (const auto& profile : profiles()) {
        if (excluding && profile.id == *excluding)
            continue;
        if (text::equalIgnoringCase(normalizedProfileName(profile.name), normalized))
            return false;
    }
    return true;
}

std::optional<std::string> ProfilesViewModel::nameError(std::string_view name,
                                                        const std::optional<ProfileId>& excluding) const {
    if (normalizedProfileName(name).empty())
        return "Введите имя профиля";
    if (!isProfileNameAvailable(name, excluding))
        return "Профиль с таким именем уже существует";
    return std::nullopt;
}

void ProfilesViewModel::selectProfile(const ProfileId& id) {
    m_profileStore.setActiveProfile(id);
}

std::optional<ProfileId> ProfilesViewModel::addProfile(const NewProfile& values) {
    const auto name = normalizedProfileName(values.name);
    if (!isProfileNameAvailable(name))
        return std::nullopt;
    Profile profile{ProfileId::generate(),
                    name,
                    values.desktopMode,
                    StorageType::ephemeral,
                    false,
                    values.location.withFiniteCoordinates(),
                    values.callsEnabled,
                    values.showCallsAvailability};
    const auto id = profile.id;
    m_profileStore.addProfile(std::move(profile));
    return id;
}

void ProfilesViewModel::addProfileFromBrowser(const NewProfile& values, engine::DataStore& dataStore,
                                              const std::string& domain,
                                              std::function<void(int)> completion) {
    // The import's own completion runs exactly once, so it is handed on as it is.
    if (!m_browserImport) {
        completion(0);
        return;
    }
    const auto id = addProfile(values);
    if (!id) {
        completion(0);
        return;
    }
    m_browserImport->importFromBrowser(*id, dataStore, domain, std::move(completion));
}

bool ProfilesViewModel::updateProfile(Profile profile) {
    if (!isProfileNameAvailable(profile.name, profile.id))
        return false;
    profile.name = normalizedProfileName(profile.name);
    profile.locationSettings = profile.locationSettings.withFiniteCoordinates();
    const auto& list = profiles();
    const auto stored =
        std::find_if(list.begin(), list.end(), [&](const Profile& p) { return p.id == profile.id; });
    const bool locationChanged = stored == list.end() || stored->locationSettings != profile.locationSettings;
    const auto id = profile.id;
    if (locationChanged)
        dropWebView(id);
    m_profileStore.updateProfile(std::move(profile));
    if (locationChanged)
        webViewDropped.emit(id);
    return true;
}

void ProfilesViewModel::deleteProfile(const ProfileId& id) {
    dropWebView(id);
    m_profileStore.deleteProfile(id);
}

void ProfilesViewModel::dropWebView(const ProfileId& id) {
    if (m_webViewFactory)
        m_webViewFactory->removeWebView(id);
}

std::string ProfilesViewModel::deleteConfirmationMessage(const Profile& profile) {
    return "Профиль \"" + profile.name + "\" будет удалён. Это действие нельзя отменить.";
}

ProfilesViewModel::CoordinateState ProfilesViewModel::coordinateState(const LocationSettings& location) {
    if (!location.latitude && !location.longitude)
        return CoordinateState::empty;
    if (!location.latitude || !location.longitude || !(std::fabs(*location.latitude) <= 90) ||
        !(std::fabs(*location.longitude) <= 180))
        return CoordinateState::invalid;
    return CoordinateState::custom;
}

} // namespace orvi
