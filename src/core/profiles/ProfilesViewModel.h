#pragma once

#include "core/base/Signal.h"
#include "core/notify/NotificationQuietRules.h"
#include "core/profiles/ProfileStoreProtocol.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvi {

class BrowserCookieImportProtocol;
class WebViewFactoryProtocol;
namespace engine {
class DataStore;
}

// The rules behind the profiles screen and its forms: name normalisation and uniqueness,
// building new profiles, and dropping a cached web view whose location went stale (a web view
// keeps the location it was built with). Main thread only.
class ProfilesViewModel final {
public:
    // What the add form collects.
    struct NewProfile {
        std::string name;
        bool desktopMode = false;
        LocationSettings location = LocationSettings::defaultLocation();
        bool callsEnabled = true;
        bool showCallsAvailability = true;
    };

    enum class CoordinateState { empty, invalid, custom };

    // Both optional dependencies may be absent: without a factory no web view is cached to
    // drop; without a browser import the form's import option stays disabled.
    ProfilesViewModel(ProfileStoreProtocol& profileStore,
                      std::shared_ptr<WebViewFactoryProtocol> webViewFactory,
                      std::shared_ptr<BrowserCookieImportProtocol> browserImport = nullptr);

    // Mirrors the store's list.
    Published<std::vector<Profile>> profiles;
    // Told after a profile's cached web view was dropped, so a screen showing it can build
    // a fresh one.
    Signal<ProfileId> webViewDropped;

    static std::string normalizedProfileName(std::string_view name);
    bool isProfileNameAvailable(std::string_view name, const std::optional<ProfileId>& excluding = {}) const;
    // The Russian line a form shows under its name field, or none when the name can be saved.
    std::optional<std::string> nameError(std::string_view name,
                                         const std::optional<ProfileId>& excluding = {}) const;

    const Profile& activeProfile() const { return m_profileStore.activeProfile(); }
    bool canDeleteProfiles() const { return profiles().size() > 1; }
    bool canImportFromBrowser() const { return m_browserImport != nullptr; }

    // Without rules no profile can be silenced on its own.
    void setQuietRules(NotificationQuietRules* quietRules) { m_quietRules = quietRules; }
    bool canSilenceProfiles() const { return m_quietRules != nullptr; }
    bool isSilenced(const ProfileId& id) const { return m_quietRules && m_quietRules->isProfileSilenced(id); }
    void setSilenced(const ProfileId& id, bool silenced) {
        if (m_quietRules)
            m_quietRules->setProfileSilenced(id, silenced);
    }

    void selectProfile(const ProfileId& id);
    // Returns the new profile's identifier, or none when the name was refused.
    std::optional<ProfileId> addProfile(const NewProfile& values);
    // Adds the profile, then brings the browser's session into `dataStore` for it. The
    // completion runs once with the number of cookies imported (0 when the name was refused
    // or no import is available).
    void addProfileFromBrowser(const NewProfile& values, engine::DataStore& dataStore,
                               const std::string& domain, std::function<void(int)> completion);
    // Refused names change nothing. Returns whether the profile was handed to the store.
    bool updateProfile(Profile profile);
    void deleteProfile(const ProfileId& id);

    static std::string deleteConfirmationMessage(const Profile& profile);
    static CoordinateState coordinateState(const LocationSettings& location);

private:
    void dropWebView(const ProfileId& id);

    ProfileStoreProtocol& m_profileStore;
    std::shared_ptr<WebViewFactoryProtocol> m_webViewFactory;
    std::shared_ptr<BrowserCookieImportProtocol> m_browserImport;
    NotificationQuietRules* m_quietRules = nullptr;
    Connection m_mirror;
};

} // namespace orvi
