#pragma once

#include "core/base/ProfileId.h"
#include "core/prefs/PreferencesStore.h"

#include <mutex>
#include <set>
#include <string>

namespace orvi {

// A view of the preferences store that refuses, for the rest of the run, to write the saved
// session of a deleted profile. Saves are asynchronous (they wait for the engine's cookie
// jar or a page script), so one started before the deletion may finish after it; without
// this it would bring the deleted profile's keys back. Safe from any thread.
class ForgettingPreferencesStore final : public PreferencesStore {
public:
    explicit ForgettingPreferencesStore(PreferencesStore& store) : m_store(store) {}

    // Removes the profile's session entries and refuses to write them again.
    void forgetProfile(const ProfileId& profileId);

    std::optional<std::string> data(std::string_view key) const override { return m_store.data(key); }
    std::optional<std::string> string(std::string_view key) const override { return m_store.string(key); }
    bool boolean(std::string_view key) const override { return m_store.boolean(key); }
    double number(std::string_view key) const override { return m_store.number(key); }
    std::optional<std::int64_t> integer(std::string_view key) const override { return m_store.integer(key); }
    bool contains(std::string_view key) const override { return m_store.contains(key); }
    std::vector<std::string> keysWithPrefix(std::string_view prefix) const override {
        return m_store.keysWithPrefix(prefix);
    }

    bool setData(std::string_view key, std::string_view bytes) override;
    bool setString(std::string_view key, std::string_view text) override;
    bool setBoolean(std::string_view key, bool value) override;
    bool setNumber(std::string_view key, double value) override;
    bool setInteger(std::string_view key, std::int64_t value) override;
    bool remove(std::string_view key) override { return m_store.remove(key); }
    void synchronize() override { m_store.synchronize(); }

private:
    // Called with m_mutex held: the check and the write it guards are one step, or a
    // deletion between them would let the write bring the keys back.
    bool isForgotten(std::string_view key) const;

    PreferencesStore& m_store;
    mutable std::mutex m_mutex;
    std::set<std::string, std::less<>> m_forgottenKeys;
};

} // namespace orvi
