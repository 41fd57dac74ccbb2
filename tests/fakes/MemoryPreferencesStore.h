#pragma once

#include "core/prefs/PreferencesStore.h"

#include <functional>
#include <map>
#include <mutex>
#include <variant>

namespace orvi::test {

// A preferences store in memory, for unit tests of its owners. Writes can be made to fail.
class MemoryPreferencesStore final : public PreferencesStore {
public:
    using Value = std::variant<std::string /*data*/, std::pair<int, std::string> /*string*/, bool, double,
                               std::int64_t>;

    std::optional<std::string> data(std::string_view key) const override { return get<0>(key); }
    std::optional<std::string> string(std::string_view key) const override {
        auto text = get<1>(key);
        return text ? std::optional(text->second) : std::nullopt;
    }
    bool boolean(std::string_view key) const override { return get<2>(key).value_or(false); }
    double number(std::string_view key) const override {
        if (auto whole = get<4>(key))
            return static_cast<double>(*whole);
        return get<3>(key).value_or(0);
    }
    std::optional<std::int64_t> integer(std::string_view key) const override { return get<4>(key); }
    bool contains(std::string_view key) const override {
        std::lock_guard lock(m_mutex);
        return m_values.count(std::string(key)) > 0;
    }
    std::vector<std::string> keysWithPrefix(std::string_view prefix) const override {
        std::vector<std::string> out;
        for (auto& key : keys())
            if (key.starts_with(prefix))
                out.push_back(key);
        return out;
    }
    bool setData(std::string_view key, std::string_view bytes) override {
        return put(key, Value(std::in_place_index<0>, std::string(bytes)));
    }
    bool setString(std::string_view key, std::string_view text) override {
        return put(key, Value(std::in_place_index<1>, std::make_pair(0, std::string(text))));
    }
    bool setBoolean(std::string_view key, bool value) override { return put(key, Value(value)); }
    bool setNumber(std::string_view key, double value) override { return put(key, Value(value)); }
    bool setInteger(std::string_view key, std::int64_t value) override { return put(key, Value(value)); }
    bool remove(std::string_view key) override {
        std::lock_guard lock(m_mutex);
        if (m_failWrites)
            return false;
        m_values.erase(std::string(key));
        return true;
    }
    void synchronize() override { ++m_synchronizeCount; }

    // Keys currently present, sorted.
    std::vector<std::string> keys() const {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> out;
        for (const auto& [key, value] : m_values)
            out.push_back(key);
        return out;
    }
    void setFailWrites(bool fail) { m_failWrites = fail; }
    // Called before every set, outside the lock, so that a test can hold a write under way.
    std::function<void(std::string_view key)> beforeWrite;
    int synchronizeCount() const { return m_synchronizeCount; }

private:
    template <std::size_t kind>
    std::optional<std::variant_alternative_t<kind, Value>> get(std::string_view key) const {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(std::string(key));
        if (it == m_values.end() || it->second.index() != kind)
            return std::nullopt;
        return std::get<kind>(it->second);
    }
    bool put(std::string_view key, Value value) {
        if (beforeWrite)
            beforeWrite(key);
        std::lock_guard lock(m_mutex);
        if (m_failWrites)
            return false;
        m_values[std::string(key)] = std::move(value);
        return true;
    }

    mutable std::mutex m_mutex;
    std::map<std::string, Value> m_values;
    bool m_failWrites = false;
    int m_synchronizeCount = 0;
};

} // namespace orvi::test
