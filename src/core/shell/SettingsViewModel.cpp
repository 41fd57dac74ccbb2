#include "core/shell/SettingsViewModel.h"

#include "core/base/Json.h"
#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/OnceCompletion.h"
#include "core/web/policy/FileURLRules.h"
#include "core/web/policy/Url.h"

#include <algorithm>

namespace orvi {
namespace {

bool hasEntries(const Json& storage, const char* member) {
    const auto found = storage.find(member);
    return found != storage.end() && found->is_object() && !found->empty();
}

// Calls `done` once after `count` calls of the returned function (at once when zero).
std::function<void()> afterAll(std::size_t count, std::function<void()> done) {
    if (count == 0) {
        done();
        return [] {};
    }
    auto remaining = std::make_shared<std::size_t>(count);
    return [remaining, done = std::move(done)] {
        if (*remaining > 0 && --*remaining == 0)
            done();
    };
}

std::string cookieDomainHost(const engine::Cookie& cookie) {
    std::string host = asciiLowercase(cookie.domain);
    if (host.starts_with("."))
        host.erase(0, 1);
    return host;
}

constexpr std::pair<HibernateAfter, std::int64_t> kHibernationMinutes[] = {
    {HibernateAfter::never, 0}, {HibernateAfter::fifteenMinutes, 15}, {HibernateAfter::oneHour, 60}};

} // namespace

std::shared_ptr<SettingsViewModel> SettingsViewModel::create(Dependencies dependencies) {
    std::shared_ptr<SettingsViewModel> model(new SettingsViewModel(std::move(dependencies)));
    model->loadSettings();
    model->checkVPNStatus(nullptr);
    return model;
}

SettingsViewModel::SettingsViewModel(Dependencies dependencies)
    : m_userDefaults(dependencies.userDefaults), m_scheduler(dependencies.scheduler),
      m_engine(dependencies.engine), m_domains(std::move(dependencies.domains)),
      m_storageSync(std::move(dependencies.storageSync)),
      m_sessionExport(std::move(dependencies.sessionExport)),
      m_sessionImport(std::move(dependencies.sessionImport)),
      m_vpnDetectionService(std::move(dependencies.vpnDetectionService)),
      m_containerArchive(std::move(dependencies.containerArchive)),
      m_browserCookieImport(std::move(dependencies.browserCookieImport)),
      m_renewDocumentStartStorage(std::move(dependencies.renewDocumentStartStorage)) {}

bool SettingsViewModel::readBoolean(std::string_view key, bool initial) const {
    // A setting the user never touched keeps its initial value: links stay blocked and
    // notifications on, rather than both reading as switched off.
    return m_userDefaults.contains(key) ? m_userDefaults.boolean(key) : initial;
}

void SettingsViewModel::loadSettings() {
    blockExternalLinks.set(readBoolean(keys::kBlockExternalLinks, true));
    notificationsEnabled.set(readBoolean(keys::kNotificationsEnabled, true));
    mediaPermissionsEnabled.set(readBoolean(keys::kMediaPermissionsEnabled, false));
    ignoreVPNWarning.set(readBoolean(keys::kIgnoreVPNWarning, false));
    loadAllProfilesAtStartup.set(loadsAllProfilesAtStartup(m_userDefaults));
    // A value no choice stands for (written by hand or by a later version) keeps pages live.
    const auto minutes = m_userDefaults.integer(keys::kHibernateAfterMinutes).value_or(0);
    for (const auto& [choice, value] : kHibernationMinutes)
        if (value == minutes)
            hibernateAfter.set(choice);
    if (const auto bytes = m_userDefaults.data(keys::kLocationSettings)) {
        if (const auto json = parseJson(*bytes)) {
            auto location = LocationSettings::fromJson(*json);
            if (location.ok())
                locationSettings.set(location.value().withFiniteCoordinates());
        }
    }
}

void SettingsViewModel::saveSettings() {
    m_userDefaults.setBoolean(keys::kBlockExternalLinks, blockExternalLinks());
    m_userDefaults.setBoolean(keys::kNotificationsEnabled, notificationsEnabled());
    m_userDefaults.setBoolean(keys::kMediaPermissionsEnabled, mediaPermissionsEnabled());
    m_userDefaults.setBoolean(keys::kIgnoreVPNWarning, ignoreVPNWarning());
    m_userDefaults.setBoolean(keys::kLoadAllProfilesAtStartup, loadAllProfilesAtStartup());
    for (const auto& [choice, value] : kHibernationMinutes)
        if (choice == hibernateAfter())
            m_userDefaults.setInteger(keys::kHibernateAfterMinutes, value);
    m_userDefaults.setData(keys::kLocationSettings,
                           locationSettings().withFiniteCoordinates().toJson().dump());
}

void SettingsViewModel::setBlockExternalLinks(bool value) {
    blockExternalLinks.set(value);
    saveSettings();
}

void SettingsViewModel::setQuietRules(NotificationQuietRules* quietRules) {
    m_quietRules = quietRules;
    doNotDisturb.set(m_quietRules ? m_quietRules->doNotDisturbKind() : std::nullopt);
}

void SettingsViewModel::setDoNotDisturb(std::optional<DoNotDisturb> kind) {
    if (!m_quietRules)
        return;
    if (kind)
        m_quietRules->startDoNotDisturb(*kind);
    else
        m_quietRules->stopDoNotDisturb();
    doNotDisturb.set(m_quietRules->doNotDisturbKind());
}

void SettingsViewModel::setNotificationsEnabled(bool value) {
    notificationsEnabled.set(value);
    saveSettings();
}

void SettingsViewModel::setMediaPermissionsEnabled(bool value) {
    mediaPermissionsEnabled.set(value);
    saveSettings();
}

void SettingsViewModel::setIgnoreVPNWarning(bool value) {
    ignoreVPNWarning.set(value);
    saveSettings();
}

void SettingsViewModel::setLoadAllProfilesAtStartup(bool value) {
    loadAllProfilesAtStartup.set(value);
    saveSettings();
}

void SettingsViewModel::setHibernateAfter(HibernateAfter value) {
    hibernateAfter.set(value);
    saveSettings();
}

bool SettingsViewModel::loadsAllProfilesAtStartup(const PreferencesStore& preferences) {
    return !preferences.contains(keys::kLoadAllProfilesAtStartup) ||
           preferences.boolean(keys::kLoadAllProfilesAtStartup);
}

std::optional<Duration> SettingsViewModel::hibernationDelay(HibernateAfter choice) {
    for (const auto& [candidate, minutes] : kHibernationMinutes)
        if (candidate == choice && minutes > 0)
            return std::chrono::minutes(minutes);
    return std::nullopt;
}

void SettingsViewModel::updateLocation(const LocationSettings& location) {
    locationSettings.set(location);
    saveSettings();
}

void SettingsViewModel::checkVPNStatus(std::function<void(bool)> completion) {
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    const std::string host = m_domains.allowedDomain();
    m_vpnDetectionService->checkVPNStatus([weakSelf, host, completion = std::move(completion)](bool found) {
        if (auto self = weakSelf.lock()) {
            self->isVPNEnabled.set(found);
            if (found && !self->ignoreVPNWarning())
                logLine("⚠️ VPN detected: the connection to " + host + " may be blocked");
        }
        if (completion)
            completion(found);
    });
}

bool SettingsViewModel::getVPNStatus() {
    return m_vpnDetectionService->isVPNEnabled();
}

void SettingsViewModel::clearAllData() {
    m_engine.defaultDataStore()->removeAllData([] { logLine("WebView data cleared"); });
}

void SettingsViewModel::importFromSafari(const ProfileId& profileId,
                                         const std::shared_ptr<engine::DataStore>& dataStore,
                                         const std::string& domain) {
    if (!m_browserCookieImport || !dataStore)
        return;
    isImportingFromSafari.set(true);
    importResult.set(std::nullopt);
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    // The import writes into the store until it completes.
    m_browserCookieImport->importFromBrowser(profileId, *dataStore, domain, [weakSelf, dataStore](int count) {
        auto self = weakSelf.lock();
        if (!self)
            return;
        self->isImportingFromSafari.set(false);
        self->importResult.set(count < 1 ? "Cookies из браузера не найдены"
                                         : "Импортировано " + std::to_string(count) + " cookies из браузера");
    });
}

void SettingsViewModel::exportContainer(FileCompletion completion) {
    if (!m_containerArchive) {
        completion(std::nullopt);
        return;
    }
    importResult.set("Экспорт контейнера...");
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    m_containerArchive->exportContainer(
        [weakSelf, completion = std::move(completion)](std::optional<std::filesystem::path> path) {
            if (auto self = weakSelf.lock())
                self->importResult.set(path ? "✅ " + path->string() : "❌ Ошибка экспорта контейнера");
            completion(std::move(path));
        });
}

void SettingsViewModel::importContainer(const std::filesystem::path& archive,
                                        std::function<void(bool)> completion) {
    if (!m_containerArchive) {
        completion(false);
        return;
    }
    importResult.set("Импорт контейнера...");
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    m_containerArchive->importContainer(
        archive, [weakSelf, completion = std::move(completion)](Result<std::monostate> result) {
            if (auto self = weakSelf.lock())
                self->importResult.set(result.ok() ? "✅ Контейнер импортирован! Перезапустите приложение."
                                                   : "❌ Ошибка: " + result.error().message);
            completion(result.ok());
        });
}

void SettingsViewModel::exportCookies(const ProfileId& profileId, BytesCompletion completion) {
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    m_sessionExport->exportCookies(
        profileId, [weakSelf, completion = std::move(completion)](std::optional<std::string> bytes) {
            // Nothing to export used to end silently, leaving the user to guess.
            if (auto self = weakSelf.lock(); self && !bytes)
                self->importResult.set("Ошибка: нет cookies для экспорта. Убедитесь, что вы авторизованы на "
                                       "сайте и cookies сохранены.");
            completion(std::move(bytes));
        });
}

void SettingsViewModel::exportActiveSessionEncrypted(const ProfileId& profileId, const std::string& password,
                                                     const std::shared_ptr<engine::WebView>& webView,
                                                     BytesCompletion completion) {
    std::weak_ptr<engine::WebView> weakView = webView;
    auto exporter = m_sessionExport;
    m_storageSync->saveStorage(profileId, webView,
                               [exporter, profileId, password, weakView, completion = std::move(completion)] {
                                   auto view = weakView.lock();
                                   if (!view) {
                                       completion(std::nullopt);
                                       return;
                                   }
                                   exporter->exportCookiesEncryptedFromDataStore(
                                       profileId, password, view->sharedDataStore(), completion);
                               });
}

void SettingsViewModel::exportEncrypted(const ProfileId& profileId, const std::string& password,
                                        const std::shared_ptr<engine::WebView>& webView,
                                        BytesCompletion completion) {
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    auto report = [weakSelf, completion = std::move(completion)](std::string failure) {
        return [weakSelf, completion, failure = std::move(failure)](std::optional<std::string> bytes) {
            if (auto self = weakSelf.lock(); self && !bytes)
                self->importResult.set(failure);
            completion(std::move(bytes));
        };
    };
    if (webView) {
        logLine("🔐 Exporting cookies from active dataStore...");
        // The page's storage as it is now, not as it was at the last save.
        exportActiveSessionEncrypted(
            profileId, password, webView,
            report("Ошибка: нет cookies для экспорта. Убедитесь, что вы авторизованы на сайте."));
    } else {
        m_sessionExport->exportCookiesEncrypted(
            profileId, password,
            report("Ошибка: нет cookies для экспорта. Убедитесь, что вы авторизованы на сайте и cookies "
                   "сохранены."));
    }
}

void SettingsViewModel::exportAllData(const std::function<void(FileCompletion)>& exporter,
                                      FileCompletion completion) {
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    exporter([weakSelf, completion = std::move(completion)](std::optional<std::filesystem::path> path) {
        if (auto self = weakSelf.lock())
            self->importResult.set(path ? "✅ " + path->string() : "❌ Ошибка экспорта");
        completion(std::move(path));
    });
}

void SettingsViewModel::reportFileChoiceFailed(const std::string& description) {
    importResult.set("Ошибка выбора файла: " + description);
}

void SettingsViewModel::reportUnreadableFile() {
    importResult.set("Ошибка: не удалось прочитать файл");
}

void SettingsViewModel::importFile(const ProfileId& profileId, std::string data,
                                   const std::shared_ptr<engine::WebView>& webView,
                                   std::function<void()> completion) {
    if (data.size() < kMinimumPlainFileSize) {
        importResult.set("Ошибка: файл слишком мал или пустой. Убедитесь, что файл содержит экспортированные "
                         "cookies.");
        completion();
        return;
    }
    const bool carriesStorage = fileCarriesStorage(data);
    if (!webView) {
        importResult.set("Ошибка: WebView не доступен");
        completion();
        return;
    }
    // The file is taken apart in a store of its own first, so a damaged file never costs
    // the profile its current session.
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    std::weak_ptr<engine::WebView> weakView = webView;
    withEmptyScratchStore(
        [weakSelf, weakView, profileId, carriesStorage, data = std::move(data),
         completion = std::move(completion)](const std::shared_ptr<engine::DataStore>& imported) mutable {
            auto owner = weakSelf.lock();
            if (!owner) {
                completion();
                return;
            }
            owner->m_sessionImport->importCookies(
                profileId, std::move(data), imported,
                [weakSelf, weakView, imported, profileId, carriesStorage,
                 completion = std::move(completion)](int count) {
                    auto self = weakSelf.lock();
                    auto view = weakView.lock();
                    if (!self || !view) {
                        completion();
                        return;
                    }
                    if (count >= 1) {
                        self->importResult.set("Импортировано " + std::to_string(count) +
                                               " cookies и данные сессии");
                    } else if (carriesStorage) {
                        self->importResult.set("Импортированы данные сессии");
                    } else {
                        self->importResult.set("Файл не содержит валидных cookies или файл пустой");
                        completion();
                        return;
                    }
                    self->replaceSession(profileId, view, imported, count >= 1, carriesStorage, completion);
                });
        });
}

void SettingsViewModel::importEncryptedFile(const ProfileId& profileId, std::string data,
                                            const std::string& password,
                                            const std::shared_ptr<engine::WebView>& webView,
                                            std::function<void()> completion) {
    logLine("✅ File read successfully: " + std::to_string(data.size()) + " bytes");
    if (data.size() < kMinimumEncryptedFileSize) {
        logLine("❌ File too small: " + std::to_string(data.size()) + " bytes, minimum 44 bytes required");
        importResult.set("Ошибка: файл слишком мал (" + std::to_string(data.size()) +
                         " байт). Минимум 44 байта для зашифрованного файла.");
        completion();
        return;
    }
    if (!webView) {
        logLine("❌ WebView not available");
        importResult.set("Ошибка: WebView не доступен");
        completion();
        return;
    }
    logLine("🔐 Calling importCookiesEncrypted...");
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    std::weak_ptr<engine::WebView> weakView = webView;
    withEmptyScratchStore(
        [weakSelf, weakView, profileId, password, data = std::move(data),
         completion = std::move(completion)](const std::shared_ptr<engine::DataStore>& imported) mutable {
            auto owner = weakSelf.lock();
            if (!owner) {
                completion();
                return;
            }
            owner->m_sessionImport->importCookiesEncrypted(
                profileId, std::move(data), password, imported,
                [weakSelf, weakView, imported, profileId,
                 completion = std::move(completion)](Result<int> result) {
                    auto self = weakSelf.lock();
                    auto view = weakView.lock();
                    if (!self || !view) {
                        completion();
                        return;
                    }
                    if (!result.ok()) {
                        logLine("❌ Import failed: " + result.error().message);
                        logLine("   Error type: " + result.error().domain);
                        self->importResult.set(result.error().message);
                        completion();
                        return;
                    }
                    const int count = result.value();
                    logLine("✅ Import successful: " + std::to_string(count) + " cookies imported");
                    self->importResult.set("Импортировано " + std::to_string(count) +
                                           " cookies и настройки (storage)");
                    self->replaceSession(profileId, view, imported, count >= 1, true, completion);
                });
        });
}

void SettingsViewModel::replaceSession(const ProfileId& profileId,
                                       const std::shared_ptr<engine::WebView>& webView,
                                       const std::shared_ptr<engine::DataStore>& imported, bool withCookies,
                                       bool restoreStorage, std::function<void()> completion) {
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    std::weak_ptr<engine::WebView> weakView = webView;
    auto reload = [weakSelf, weakView, completion] {
        auto self = weakSelf.lock();
        auto view = weakView.lock();
        if (self && view) {
            logLine("🔄 Reloading page to apply cookies and storage...");
            self->reloadPage(*view);
        }
        completion();
    };
    auto storageThenReload = [weakSelf, weakView, profileId, restoreStorage, reload] {
        auto self = weakSelf.lock();
        auto view = weakView.lock();
        if (!self || !view || !restoreStorage) {
            reload();
            return;
        }
        // Writing the snapshot clears the page's storage first, so nothing of the replaced
        // session survives next to the imported one.
        if (self->m_renewDocumentStartStorage)
            self->m_renewDocumentStartStorage(*view);
        self->m_storageSync->restoreStorage(profileId, view, [reload] {
            logLine("✅ Storage restored in WebView");
            reload();
        });
    };
    if (!withCookies) {
        storageThenReload();
        return;
    }
    replaceCookies(imported, webView->sharedDataStore(), storageThenReload);
}

void SettingsViewModel::replaceCookies(const std::shared_ptr<engine::DataStore>& imported,
                                       const std::shared_ptr<engine::DataStore>& live,
                                       std::function<void()> completion) {
    OnceCompletion<> done(m_scheduler, std::move(completion));
    const std::string serviceDomain = m_domains.serviceDomain;
    std::weak_ptr<engine::DataStore> weakLive = live;
    imported->cookieStore().getAllCookies(
        [imported, weakLive, serviceDomain, done](Result<std::vector<engine::Cookie>> read) {
            auto live = weakLive.lock();
            if (!live || !read) {
                // Without the imported cookies the live ones stay as they are.
                if (!read)
                    logLine("❌ Imported cookies could not be read: " + read.error().message);
                done();
                return;
            }
            live->cookieStore().getAllCookies([weakLive, serviceDomain, incoming = std::move(read).value(),
                                               done](Result<std::vector<engine::Cookie>> current) {
                auto live = weakLive.lock();
                if (!live) {
                    done();
                    return;
                }
                // Unread, the old service cookies cannot be picked out; the imported ones still
                // replace those with the same name, domain and path.
                if (!current)
                    logLine("⚠️ Current cookies could not be read: " + current.error().message);
                const auto currentCookies = current ? current.value() : std::vector<engine::Cookie>{};
                std::vector<engine::Cookie> stale;
                std::copy_if(currentCookies.begin(), currentCookies.end(), std::back_inserter(stale),
                             [&](const engine::Cookie& c) {
                                 return hostMatchesRole(cookieDomainHost(c), serviceDomain);
                             });
                logLine("🧹 Replacing " + std::to_string(stale.size()) + " service cookies with " +
                        std::to_string(incoming.size()) + " imported ones");
                auto setAll = [weakLive, incoming, done] {
                    auto live = weakLive.lock();
                    if (!live) {
                        done();
                        return;
                    }
                    auto each = afterAll(incoming.size(), [done] { done(); });
                    for (const auto& cookie : incoming)
                        live->cookieStore().setCookie(cookie, each);
                };
                auto each = afterAll(stale.size(), setAll);
                for (const auto& cookie : stale)
                    live->cookieStore().deleteCookie(cookie, each);
            });
        });
}

void SettingsViewModel::withEmptyScratchStore(
    std::function<void(const std::shared_ptr<engine::DataStore>&)> use) {
    // One store for the whole run: the engine does not take well to a store that keeps
    // nothing being dropped right after use. What an earlier import left in it goes first.
    if (!m_scratchStore)
        m_scratchStore = m_engine.nonPersistentDataStore();
    auto store = m_scratchStore;
    store->cookieStore().getAllCookies(
        [store, use = std::move(use)](Result<std::vector<engine::Cookie>> read) {
            const auto left = read ? read.value() : std::vector<engine::Cookie>{};
            auto each = afterAll(left.size(), [store, use] { use(store); });
            for (const auto& cookie : left)
                store->cookieStore().deleteCookie(cookie, each);
        });
}

void SettingsViewModel::reloadPage(engine::WebView& webView) const {
    webView.load(
        engine::Request{m_domains.serviceOrigin(), {}, engine::CachePolicy::useProtocolCachePolicy, 60.0});
}

bool SettingsViewModel::passwordsDiffer(const std::string& password, const std::string& confirmation) {
    return !password.empty() && password != confirmation;
}

bool SettingsViewModel::canExportEncrypted(const std::string& password, const std::string& confirmation) {
    return !password.empty() && password == confirmation;
}

std::string SettingsViewModel::exportFileName(const std::string& profileName) {
    std::string name = profileName;
    // A name is free text; a slash would make the suggested name a path.
    std::replace(name.begin(), name.end(), '/', '-');
    return "orvi-cookies-" + name + ".orvicookies";
}

bool SettingsViewModel::fileCarriesStorage(const std::string& data) {
    const auto json = parseJson(data);
    if (!json || !json->is_object())
        return false;
    const auto storage = json->find("storage");
    if (storage == json->end() || !storage->is_object())
        return false;
    return hasEntries(*storage, "localStorage") || hasEntries(*storage, "sessionStorage");
}

} // namespace orvi
