#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvi {

// A profile's identity: a random UUID whose upper-case 36-character text keys every
// per-profile preference entry and data store and is handed to page scripts.
class ProfileId {
public:
    // Parses the 8-4-4-4-12 hexadecimal form; either letter case is accepted, anything
    // else (braces, missing hyphens, extra characters) is rejected.
    static std::optional<ProfileId> parse(std::string_view text);
    static ProfileId generate();
    static ProfileId fromBytes(const std::array<std::uint8_t, 16>& bytes) { return ProfileId(bytes); }

    // Upper-case hexadecimal with hyphens, 36 characters.
    std::string text() const;
    const std::array<std::uint8_t, 16>& bytes() const { return m_bytes; }

    auto operator<=>(const ProfileId&) const = default;
    bool operator==(const ProfileId&) const = default;

private:
    explicit ProfileId(const std::array<std::uint8_t, 16>& bytes) : m_bytes(bytes) {}

    std::array<std::uint8_t, 16> m_bytes{};
};

} // namespace orvi

template <>
struct std::hash<orvi::ProfileId> {
    std::size_t operator()(const orvi::ProfileId& id) const noexcept {
        std::size_t h = 0;
        for (auto b : id.bytes())
            h = h * 131 + b;
        return h;
    }
};
