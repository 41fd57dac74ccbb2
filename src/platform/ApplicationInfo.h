#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace orvi::platform {

// The application's own information: usage texts for the camera and microphone prompts,
// its names and its identifier, under the keys the start-up checks read
// ("NSCameraUsageDescription", "NSMicrophoneUsageDescription", "CFBundleDisplayName",
// "CFBundleName"). Values keep their type, since a check accepts only strings.
class ApplicationInfo {
public:
    virtual ~ApplicationInfo() = default;

    virtual std::optional<nlohmann::json> value(std::string_view key) const = 0;
    virtual std::optional<std::string> identifier() const = 0;
};

// An information table held in memory: the compiled-in table of the application, and the
// tables tests make.
class TableApplicationInfo final : public ApplicationInfo {
public:
    TableApplicationInfo(std::map<std::string, nlohmann::json, std::less<>> values,
                         std::optional<std::string> identifier)
        : m_values(std::move(values)), m_identifier(std::move(identifier)) {}

    std::optional<nlohmann::json> value(std::string_view key) const override {
        auto it = m_values.find(key);
        if (it == m_values.end())
            return std::nullopt;
        return it->second;
    }
    std::optional<std::string> identifier() const override { return m_identifier; }

private:
    std::map<std::string, nlohmann::json, std::less<>> m_values;
    std::optional<std::string> m_identifier;
};

} // namespace orvi::platform
