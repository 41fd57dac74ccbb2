#pragma once

#include "core/base/Log.h"
#include "core/env/VPNDetectionServiceProtocol.h"
#include "core/notify/NotificationServiceProtocol.h"
#include "core/page/WebViewFactory.h"
#include "core/page/WebViewPlacement.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/PreferencesStore.h"
#include "core/profiles/ProfileStoreProtocol.h"
#include "core/session/SessionExportProtocol.h"
#include "core/session/SessionSync.h"
#include "fakes/FakeEngine.h"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace orvi::test {

// A session sync that keeps each profile's cookies in the preferences store as a JSON object
// of name to value, records every call in order, and can hold its storage answers back so
// tests can deliver them late.
class FakeSessionSync final : public CookieJarSyncProtocol,
                              public StorageSnapshotSyncProtocol,
                              public SessionExportProtocol,
                              public std::enable_shared_from_this<FakeSessionSync> {
public:
    using Done = std::function<void()>;

    explicit FakeSessionSync(PreferencesStore& preferences) : m_preferences(preferences) {}

    // The fake as both halves of the session a page keeps.
    SessionSync sync() { return SessionSync{shared_from_this(), shared_from_this()}; }

    void saveCookies(const ProfileId& id, const std::shared_ptr<engine::DataStore>& dataStore) override {
        saveCookies(id, dataStore, [] {});
    }
    void saveCookies(const ProfileId& id, const std::shared_ptr<engine::DataStore>& dataStore,
                     Done completion) override {
        calls.push_back("saveCookies " + id.text());
        dataStore->cookieStore().getAllCookies(
            [this, id, completion](Result<std::vector<engine::Cookie>> read) {
                if (read) {
                    Json saved = Json::object();
                    for (const auto& cookie : read.value())
                        saved[cookie.name] = cookie.value;
                    m_preferences.setData(keys::cookies(id), saved.dump());
                }
                completion();
            });
    }
    void restoreCookies(const ProfileId& id, const std::shared_ptr<engine::DataStore>& dataStore,
                        Done completion) override {
        calls.push_back("restoreCookies " + id.text());
        auto saved = m_preferences.data(keys::cookies(id));
        auto json = saved ? Json::parse(*saved, nullptr, false) : Json::object();
        auto remaining = std::make_shared<std::size_t>(json.is_object() ? json.size() : 0);
        if (*remaining == 0) {
            completion();
            return;
        }
        for (const auto& [name, value] : json.items()) {
            dataStore->cookieStore().setCookie(
                engine::Cookie{name, value.get<std::string>(), "web.orvi.test"}, [remaining, completion] {
                    if (--*remaining == 0)
                        completion();
                });
        }
    }
    void clearCookies(const ProfileId& id) override {
        calls.push_back("clearCookies " + id.text());
        m_preferences.remove(keys::cookies(id));
    }
    void saveStorage(const ProfileId& id, const std::shared_ptr<engine::WebView>&, Done completion) override {
        calls.push_back("saveStorage " + id.text());
        answer([this, id, completion] {
            m_preferences.setData(keys::storage(id), R"({"localStorage":{},"sessionStorage":{}})");
            completion();
        });
    }
    void restoreStorage(const ProfileId& id, const std::shared_ptr<engine::WebView>&,
                        Done completion) override {
        calls.push_back("restoreStorage " + id.text());
        answer(std::move(completion));
    }
    void exportCookies(const ProfileId&, BytesCompletion completion) override { completion(std::nullopt); }
    void exportToFile(const ProfileId& id, const std::shared_ptr<engine::DataStore>&,
                      const std::shared_ptr<engine::WebView>&, FileCompletion completion) override {
        calls.push_back("exportToFile " + id.text());
        completion(std::filesystem::path("/tmp/export-" + id.text() + ".json"));
    }
    void exportCookiesEncrypted(const ProfileId&, const std::string&, BytesCompletion completion) override {
        completion(std::nullopt);
    }
    void exportCookiesEncryptedFromDataStore(const ProfileId&, const std::string&,
                                             const std::shared_ptr<engine::DataStore>&,
                                             BytesCompletion completion) override {
        completion(std::nullopt);
    }

    std::size_t count(const std::string& call) const {
        return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
    }
    void releaseStorageAnswers() {
        while (!held.empty()) {
            auto next = std::move(held.front());
            held.pop_front();
            next();
        }
    }

    std::vector<std::string> calls;
    bool holdStorageAnswers = false;
    std::deque<std::function<void()>> held;

private:
    void answer(std::function<void()> fn) {
        if (holdStorageAnswers)
            held.push_back(std::move(fn));
        else
            fn();
    }
    PreferencesStore& m_preferences;
};

class FakePlacement final : public WebViewPlacement {
public:
    bool hasWindow() const override { return window; }
    bool isWindowVisible() const override { return visible; }
    Connection whenWindowMapped(std::function<void()> callback) const override {
        return mapped.connect([callback] { callback(); });
    }
    // Shows the window the way the toolkit does: visible first, then the map notice.
    void map() {
        window = visible = true;
        mapped.emit();
    }
    bool window = true;
    bool visible = true;
    mutable Signal<> mapped;
};

// Answers the VPN question on the next main-queue turn, like the real service.
class FakeVPNDetection final : public VPNDetectionServiceProtocol {
public:
    explicit FakeVPNDetection(Scheduler& scheduler) : m_scheduler(scheduler) {}
    void checkVPNStatus(std::function<void(bool)> completion) override {
        ++checks;
        const bool answer = vpn;
        m_scheduler.post([completion, answer] { completion(answer); });
    }
    bool isVPNEnabled() override { return vpn; }
    bool vpn = false;
    int checks = 0;

private:
    Scheduler& m_scheduler;
};

class RecordingNotificationService final : public NotificationServiceProtocol {
public:
    void requestPermissionIfNeeded() override {}
    void notifyUnread(const Profile& profile, int count) override { reports.push_back({profile.id, count}); }
    void rebaseUnread(const Profile&, int) override {}
    void updateBadge(int) override {}
    std::vector<std::pair<ProfileId, int>> reports;
};

// A profile store in memory that publishes like the real one: the list first, then the
// active profile.
class FakeProfileStore final : public ProfileStoreProtocol {
public:
    explicit FakeProfileStore(std::vector<Profile> initial)
        : m_profiles(std::move(initial)), m_active(m_profiles[0]) {}

    const std::vector<Profile>& profiles() const override { return m_profiles; }
    const Profile& activeProfile() const override { return m_active; }
    void addProfile(Profile profile) override {
        m_profiles.push_back(std::move(profile));
        m_profilesChanged.emit(m_profiles);
    }
    void deleteProfile(const ProfileId& id) override {
        if (m_profiles.size() < 2)
            return;
        std::erase_if(m_profiles, [&](const Profile& p) { return p.id == id; });
        m_profilesChanged.emit(m_profiles);
        if (m_active.id == id)
            activate(m_profiles[0]);
    }
    void setActiveProfile(const ProfileId& id) override {
        for (const auto& p : m_profiles)
            if (p.id == id)
                activate(p);
    }
    void updateProfile(Profile profile) override {
        std::replace_if(
            m_profiles.begin(), m_profiles.end(), [&](const Profile& p) { return p.id == profile.id; },
            profile);
        m_profilesChanged.emit(m_profiles);
        if (m_active.id == profile.id)
            activate(profile);
    }
    Connection subscribeToProfiles(std::function<void(const std::vector<Profile>&)> slot) override {
        return m_profilesChanged.connect(std::move(slot));
    }
    Connection subscribeToActiveProfile(std::function<void(const Profile&)> slot) override {
        return m_activeChanged.connect(std::move(slot));
    }

private:
    void activate(const Profile& profile) {
        m_active = profile;
        m_activeChanged.emit(m_active);
    }
    std::vector<Profile> m_profiles;
    Profile m_active;
    Signal<std::vector<Profile>> m_profilesChanged;
    Signal<Profile> m_activeChanged;
};

inline Profile makeProfile(const std::string& name, StorageType storage = StorageType::persistentMain) {
    return Profile{
        ProfileId::generate(), name, false, storage, false, LocationSettings::defaultLocation(), true, true};
}

// A factory that builds nothing and records which profiles' web views were dropped.
class RecordingFactory final : public WebViewFactoryProtocol {
public:
    std::shared_ptr<engine::WebView> makeWebView(const Profile&,
                                                 const std::optional<LocationSettings>&) override {
        return nullptr;
    }
    void removeWebView(const ProfileId& id) override { removed.push_back(id); }
    void clearCache() override {}
    std::vector<ProfileId> removed;
};

} // namespace orvi::test
