#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace orvi::platform {

// The desktop's save dialog and file manager. Main thread only.
class FileSaving {
public:
    virtual ~FileSaving() = default;

    // Asks the user where to save a file, proposing `suggestedName` in `startFolder`. The
    // completion runs exactly once: the chosen path, or none when the user cancelled.
    virtual void
    chooseSaveDestination(const std::string& suggestedName, const std::filesystem::path& startFolder,
                          std::function<void(std::optional<std::filesystem::path>)> completion) = 0;

    // Shows the file selected in the file manager, or at least opens its folder.
    virtual void reveal(const std::filesystem::path& file) = 0;
};

} // namespace orvi::platform
