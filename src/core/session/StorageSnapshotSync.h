#pragma once

#include "core/base/Json.h"
#include "core/base/Scheduler.h"
#include "core/prefs/PreferencesStore.h"
#include "core/session/StorageSnapshot.h"
#include "core/session/StorageSnapshotSyncProtocol.h"
#include "core/web/policy/OrviDomains.h"

#include <memory>
#include <optional>
#include <string>

namespace orvi {

class StorageSnapshotSync final : public StorageSnapshotSyncProtocol {
public:
    StorageSnapshotSync(PreferencesStore& userDefaults, Scheduler& scheduler, OrviDomains domains);
    ~StorageSnapshotSync() override;
    StorageSnapshotSync(const StorageSnapshotSync&) = delete;
    StorageSnapshotSync& operator=(const StorageSnapshotSync&) = delete;

    void saveStorage(const ProfileId& profileId, const std::shared_ptr<engine::WebView>& webView,
                     Done completion) override;
    void restoreStorage(const ProfileId& profileId, const std::shared_ptr<engine::WebView>& webView,
                        Done completion) override;

    // Only the service's own page holds the session; every other page neither gives nor
    // receives a snapshot.
    static bool isServicePage(const engine::WebView* webView, const OrviDomains& domains);
    // The saved entry, when it is a snapshot an import can read back.
    static std::optional<Json> savedSnapshotJson(const PreferencesStore& store, const ProfileId& profileId);
    static bool writeEntry(PreferencesStore& store, const ProfileId& profileId, const std::string& bytes);

private:
    PreferencesStore& m_userDefaults;
    Scheduler& m_scheduler;
    OrviDomains m_domains;
    // Callbacks hold this weakly and do nothing once the sync is gone.
    std::shared_ptr<StorageSnapshotSync*> m_lifetime;
};

} // namespace orvi
