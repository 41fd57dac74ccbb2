#pragma once

#include "core/shell/TerminationSave.h"

namespace orvi {

class MainWebViewModel;
class WebViewSessions;

// The termination hook that saves the session of the page on screen: cookies and storage of
// the profile that web view belongs to (not whichever profile is active by then). It is
// done only when both saves have answered, so a cookie answer that comes after the storage
// answer is still waited for.
struct ActiveSessionSave {
    static TerminationSave::Hook hook(MainWebViewModel& model, WebViewSessions& sessions);
};

} // namespace orvi
