#pragma once

#include "core/base/Scheduler.h"

namespace orvi {

class MainWebViewModel;
class WebViewSessions;

// Saves the session of the page on screen before the process ends: cookies and storage of
// the profile that web view belongs to, waiting for both answers for at most 2 s while the
// main loop keeps delivering the engine's answers. Returns whether both arrived in time.
struct TerminationSave {
    static constexpr Duration kWait = std::chrono::seconds(2);

    static bool run(MainWebViewModel& model, WebViewSessions& sessions, Scheduler& scheduler);
};

} // namespace orvi
