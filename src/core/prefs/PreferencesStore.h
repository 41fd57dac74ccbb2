#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvi {

// The per-user key-value store behind every preference. Five value kinds round-trip
// exactly; a write is visible to every later read in the process at once and is durable
// when the call returns. Safe from any thread; last writer wins per key.
class PreferencesStore {
public:
    virtual ~PreferencesStore() = default;

    virtual std::optional<std::string> data(std::string_view key) const = 0;
    virtual std::optional<std::string> string(std::string_view key) const = 0;
    // False when absent.
    virtual bool boolean(std::string_view key) const = 0;
    // 0 when absent.
    virtual double number(std::string_view key) const = 0;
    virtual std::optional<std::int64_t> integer(std::string_view key) const = 0;
    virtual bool contains(std::string_view key) const = 0;
    // Every present key that starts with `prefix`, sorted. A store that cannot list its
    // keys returns none.
    virtual std::vector<std::string> keysWithPrefix(std::string_view prefix) const {
        (void)prefix;
        return {};
    }

    // Each returns false, logs and keeps the old value when the write fails.
    virtual bool setData(std::string_view key, std::string_view bytes) = 0;
    virtual bool setString(std::string_view key, std::string_view text) = 0;
    virtual bool setBoolean(std::string_view key, bool value) = 0;
    virtual bool setNumber(std::string_view key, double value) = 0;
    virtual bool setInteger(std::string_view key, std::int64_t value) = 0;
    virtual bool remove(std::string_view key) = 0;

    // Writes are already durable; this only asks the store to fold its journal.
    virtual void synchronize() = 0;
};

} // namespace orvi
