#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvi::platform {

// Some environment variables as they were when this was made; restore() puts each back as it
// was, set or unset. The web processes and a restarted application inherit the environment,
// so a start-up change meant for this process alone must be undone exactly.
class EnvironmentSnapshot {
public:
    explicit EnvironmentSnapshot(const std::vector<const char*>& names);
    void restore() const;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_values;
};

} // namespace orvi::platform
