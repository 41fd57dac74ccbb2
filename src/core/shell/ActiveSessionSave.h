#pragma once

#include "core/shell/TerminationSave.h"

namespace orvi {

class MainWebViewModel;
class WebViewSessions;

// The termination hook that saves the session of every live page, the one on screen and
// those running off screen: cookies and storage of the profile each web view belongs to (not
// whichever profile is active by then). It is done only when every save has answered, so a
// cookie answer that comes after the storage answer is still waited for.
struct ActiveSessionSave {
    static TerminationSave::Hook hook(MainWebViewModel& model, WebViewSessions& sessions);
};

} // namespace orvi
