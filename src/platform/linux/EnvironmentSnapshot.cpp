#include "platform/EnvironmentSnapshot.h"

#include <cstdlib>

namespace orvi::platform {

EnvironmentSnapshot::EnvironmentSnapshot(const std::vector<const char*>& names) {
    for (const char* name : names) {
        const char* value = std::getenv(name);
        m_values.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
}

void EnvironmentSnapshot::restore() const {
    for (const auto& [name, value] : m_values) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
}

} // namespace orvi::platform
