#pragma once

#include "core/base/Json.h"
#include "core/base/Scheduler.h"
#include "core/web/policy/OrviDomains.h"

#include <map>
#include <string>
#include <string_view>

namespace orvi {

namespace engine {
class WebView;
}

// Decides whether a message a page posted to one of our handlers is handled at all: only
// while the view shows a service page, only up to a rate per handler, and only when it is
// of a sane size. Whatever a page sends is otherwise dropped without being kept. Main thread.
class PageMessageGate {
public:
    static constexpr Duration kWindow = std::chrono::seconds(1);
    static constexpr std::size_t kMaxBodyBytes = 16 * 1024;
    static constexpr std::size_t kMaxLogCharacters = 1000;

    PageMessageGate(Scheduler& scheduler, OrviDomains domains);

    bool admit(std::string_view handler, const engine::WebView& webView, const Json& body);

    // A console line of the page as one log line of ours: control characters escaped, cut to
    // a sane length, and marked as the page's so it can never pass for one of our own lines.
    static std::string pageLogLine(std::string_view type, std::string_view message);
    // A page's text made safe for one log line: control characters escaped, cut to length.
    static std::string oneLine(std::string_view text, std::size_t maxCharacters = kMaxLogCharacters);

private:
    struct Window {
        Clock::time_point start;
        unsigned count = 0;
        bool reported = false;
    };
    static unsigned limitFor(std::string_view handler);

    Scheduler& m_scheduler;
    OrviDomains m_domains;
    std::map<std::string, Window, std::less<>> m_windows;
};

} // namespace orvi
