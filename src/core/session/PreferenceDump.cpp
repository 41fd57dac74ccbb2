#include "core/session/PreferenceDump.h"

#include "core/prefs/PreferenceKeys.h"

#include <algorithm>
#include <openssl/evp.h>

namespace orvi {
namespace {

inline constexpr const char* kDataMember = "$data";

std::optional<PreferenceDump::Value> readValue(const PreferencesStore& store, std::string_view key) {
    if (!store.contains(key))
        return std::nullopt;
    if (auto bytes = store.data(key))
        return PreferenceDump::Data{std::move(*bytes)};
    if (auto text = store.string(key))
        return std::move(*text);
    if (auto integer = store.integer(key))
        return *integer;
    if (store.boolean(key))
        return true;
    // The store does not tell a false Boolean from a zero number; every container key that
    // is not binary is a Boolean, so false it is.
    if (const double number = store.number(key); number != 0)
        return number;
    return false;
}

} // namespace

std::string PreferenceDump::toBase64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3), '\0');
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(std::max(written, 0)));
    return text;
}

std::optional<std::string> PreferenceDump::fromBase64(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    const auto isBase64 = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
               c == '/';
    };
    std::size_t padding = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 >= text.size() && (i + 1 == text.size() || text[i + 1] == '='))
            ++padding;
        else if (!isBase64(text[i]) || padding > 0)
            return std::nullopt;
    }
    std::string bytes(3 * (text.size() / 4), '\0');
    const int written =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (written < 0)
        return std::nullopt;
    // EVP_DecodeBlock counts the padding as zero bytes.
    bytes.resize(static_cast<std::size_t>(written) - padding);
    return bytes;
}

Json PreferenceDump::collect(const PreferencesStore& store) {
    Json dump = Json::object();
    for (auto key : keys::kContainerKeys) {
        auto value = readValue(store, key);
        if (!value)
            continue;
        auto& member = dump[std::string(key)];
        std::visit(
            [&member](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, Data>)
                    member = Json{{kDataMember, toBase64(v.bytes)}};
                else
                    member = v;
            },
            *value);
    }
    return dump;
}

std::vector<PreferenceDump::Entry> PreferenceDump::decode(const Json& dump,
                                                          std::vector<std::string>& ignored) {
    std::vector<Entry> entries;
    if (!dump.is_object())
        return entries;
    for (const auto& [name, value] : dump.items()) {
        const bool known = std::find(keys::kContainerKeys.begin(), keys::kContainerKeys.end(), name) !=
                           keys::kContainerKeys.end();
        std::optional<Value> decoded;
        if (!known)
            decoded = std::nullopt;
        else if (value.is_boolean())
            decoded = value.get<bool>();
        else if (value.is_number_integer())
            decoded = value.get<std::int64_t>();
        else if (value.is_number_float())
            decoded = value.get<double>();
        else if (value.is_string())
            decoded = value.get<std::string>();
        else if (value.is_object() && value.size() == 1 && value.contains(kDataMember) &&
                 value[kDataMember].is_string()) {
            if (auto bytes = fromBase64(value[kDataMember].get<std::string>()))
                decoded = Data{std::move(*bytes)};
        }
        if (decoded)
            entries.push_back(Entry{name, std::move(*decoded)});
        else
            ignored.push_back(name);
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return std::find(keys::kContainerKeys.begin(), keys::kContainerKeys.end(), a.key) <
               std::find(keys::kContainerKeys.begin(), keys::kContainerKeys.end(), b.key);
    });
    return entries;
}

bool PreferenceDump::apply(PreferencesStore& store, const std::vector<Entry>& entries) {
    bool allWritten = true;
    for (const auto& entry : entries) {
        const bool written = std::visit(
            [&store, &entry](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, Data>)
                    return store.setData(entry.key, v.bytes);
                else if constexpr (std::is_same_v<T, std::string>)
                    return store.setString(entry.key, v);
                else if constexpr (std::is_same_v<T, bool>)
                    return store.setBoolean(entry.key, v);
                else if constexpr (std::is_same_v<T, double>)
                    return store.setNumber(entry.key, v);
                else
                    return store.setInteger(entry.key, v);
            },
            entry.value);
        allWritten = allWritten && written;
    }
    store.synchronize();
    return allWritten;
}

} // namespace orvi
