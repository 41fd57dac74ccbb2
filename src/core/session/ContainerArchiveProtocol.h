#pragma once

#include "core/base/Result.h"

#include <filesystem>
#include <functional>
#include <optional>

namespace orvi {

// Moves everything a user has to another machine: the engine's own per-profile folders and
// the application's main preference entries, as one ZIP archive. Both operations do their
// file work off the main thread; every completion runs once, on the main thread.
class ContainerArchiveProtocol {
public:
    virtual ~ContainerArchiveProtocol() = default;

    // The archive's path, or nothing when any part could not be written.
    virtual void exportContainer(std::function<void(std::optional<std::filesystem::path>)> completion) = 0;
    virtual void importContainer(const std::filesystem::path& archive,
                                 std::function<void(Result<std::monostate>)> completion) = 0;
};

} // namespace orvi
