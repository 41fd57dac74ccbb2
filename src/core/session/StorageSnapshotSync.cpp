#include "core/session/StorageSnapshotSync.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/OnceCompletion.h"
#include "core/web/scripts/OrviUserScripts.h"

namespace orvi {
namespace {

std::string hostForLog(const engine::WebView* webView) {
    if (!webView)
        return "no web view";
    auto host = hostOfUrl(webView->url());
    return host.empty() ? "no page" : host;
}

} // namespace

StorageSnapshotSync::StorageSnapshotSync(PreferencesStore& userDefaults, Scheduler& scheduler,
                                         OrviDomains domains)
    : m_userDefaults(userDefaults), m_scheduler(scheduler), m_domains(std::move(domains)),
      m_lifetime(std::make_shared<StorageSnapshotSync*>(this)) {}

StorageSnapshotSync::~StorageSnapshotSync() = default;

bool StorageSnapshotSync::isServicePage(const engine::WebView* webView, const OrviDomains& domains) {
    return webView && domains.isAllowed(webView->url());
}

std::optional<Json> StorageSnapshotSync::savedSnapshotJson(const PreferencesStore& store,
                                                           const ProfileId& profileId) {
    auto bytes = store.data(keys::storage(profileId));
    if (!bytes)
        return std::nullopt;
    auto parsed = parseJson(*bytes);
    if (!parsed || !StorageSnapshot::fromJson(*parsed))
        return std::nullopt;
    return parsed;
}

bool StorageSnapshotSync::writeEntry(PreferencesStore& store, const ProfileId& profileId,
                                     const std::string& bytes) {
    if (!store.setData(keys::storage(profileId), bytes))
        return false;
    store.synchronize();
    return true;
}

void StorageSnapshotSync::saveStorage(const ProfileId& profileId,
                                      const std::shared_ptr<engine::WebView>& webView, Done completion) {
    OnceCompletion<> done(m_scheduler, std::move(completion));
    // Only the service's own page holds the session: a blank, test, fallback or foreign page
    // would overwrite the saved snapshot with storage that is not the messenger's.
    if (!isServicePage(webView.get(), m_domains)) {
        logLine("   ⚠️ Not saving storage: page is not on the service host (" +
                hostForLog(webView.get()) + ") for profile: " + profileId.text());
        done();
        return;
    }
    std::weak_ptr<StorageSnapshotSync*> lifetime = m_lifetime;
    std::weak_ptr<engine::WebView> weakView = webView;
    webView->evaluateJavaScript(
        StorageSnapshot::captureScript(), engine::World::client,
        [lifetime, weakView, profileId, done](engine::ScriptResult result) {
            auto self = lifetime.lock();
            if (!self)
                return; // done reports through its fallback
            if (!result.ok()) {
                logLine("   ⚠️ Failed to save storage: " + result.error().message);
                done();
                return;
            }
            auto view = weakView.lock();
            if (!isServicePage(view.get(), (*self)->m_domains)) {
                logLine("   ⚠️ Not saving storage: page left the service host (" +
                        hostForLog(view.get()) + ") for profile: " + profileId.text());
                done();
                return;
            }
            const auto& value = result.value();
            std::optional<StorageSnapshot> snapshot;
            if (value.is_string())
                snapshot = StorageSnapshot::parse(value.get_ref<const std::string&>());
            if (!snapshot) {
                logLine("   ⚠️ Failed to serialize storage data");
                done();
                return;
            }
            if (!writeEntry((*self)->m_userDefaults, profileId, value.get_ref<const std::string&>())) {
                logLine("   ❌ Failed to write storage to UserDefaults for profile: " + profileId.text());
                done();
                return;
            }
            logLine("   💾 Saved storage (localStorage: " + std::to_string(snapshot->localStorage.size()) +
                    ", sessionStorage: " + std::to_string(snapshot->sessionStorage.size()) +
                    ") for profile: " + profileId.text());
            done();
        });
}

void StorageSnapshotSync::restoreStorage(const ProfileId& profileId,
                                         const std::shared_ptr<engine::WebView>& webView, Done completion) {
    auto saved = m_userDefaults.data(keys::storage(profileId));
    auto snapshot = saved ? StorageSnapshot::parse(*saved) : std::nullopt;
    if (!snapshot) {
        logLine("   ⚠️ No saved storage found for profile: " + profileId.text());
        completion();
        return;
    }
    // The snapshot belongs to the service's origin; any other page must not receive it.
    if (!isServicePage(webView.get(), m_domains)) {
        logLine("   ⚠️ Not restoring storage: page is not on the service host (" +
                hostForLog(webView.get()) + ") for profile: " + profileId.text());
        completion();
        return;
    }
    logLine("   📥 Restoring storage for profile: " + profileId.text());
    logLine("   Found " + std::to_string(snapshot->localStorage.size()) + " localStorage items, " +
            std::to_string(snapshot->sessionStorage.size()) + " sessionStorage items");

    OnceCompletion<> done(m_scheduler, std::move(completion));
    std::weak_ptr<engine::WebView> weakView = webView;
    auto sessionScript = OrviUserScripts::onServiceHostOnly(snapshot->sessionRestoreScript(), m_domains);
    webView->evaluateJavaScript(
        OrviUserScripts::onServiceHostOnly(snapshot->localRestoreScript(), m_domains), engine::World::client,
        [weakView, done, sessionScript = std::move(sessionScript)](engine::ScriptResult result) {
            if (result.ok())
                logLine("   ✅ Restored localStorage");
            else
                logLine("   ⚠️ Failed to restore localStorage: " + result.error().message);
            auto view = weakView.lock();
            if (!view) {
                done();
                return;
            }
            view->evaluateJavaScript(
                sessionScript, engine::World::client, [done](engine::ScriptResult result) {
                    if (result.ok())
                        logLine("   ✅ Restored sessionStorage");
                    else
                        logLine("   ⚠️ Failed to restore sessionStorage: " + result.error().message);
                    done();
                });
        });
}

} // namespace orvi
