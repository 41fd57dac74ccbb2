#pragma once

#include "service/DownloadPages.h"

// A web client gone hostile, answered on its own host (a test names it the web host in the
// endpoints it hands the application): its "/" logs text that forges
// whole log lines through embedded line breaks, then tries to take the window to look-alike
// hosts of the service, one after another, and finally logs "hostile page done" (which
// only a page still on screen can).
namespace orvi::test::pages {

inline constexpr const char* kHostileWebHost = "hostile.orvi.test";

std::optional<PageResponse> hostilePage(const RecordedRequest& request);

} // namespace orvi::test::pages
