#pragma once

#include "core/page/PageDownloads.h"

#include <filesystem>
#include <optional>
#include <string>

namespace orvi {

// What the window's status line says about downloads and page features: the text, whether
// work is still going on, and the file a "Показать в папке" button reveals.
struct StatusLine {
    std::string text;
    bool busy = false;
    std::optional<std::filesystem::path> revealable;
    bool isError = false;

    bool operator==(const StatusLine&) const = default;
};

// None means the line goes away (the user cancelled the save dialog).
std::optional<StatusLine> statusLineFor(const DownloadEvent& event);

StatusLine callsUnavailableStatusLine();

} // namespace orvi
