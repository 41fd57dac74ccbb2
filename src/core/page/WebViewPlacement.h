#pragma once

#include "core/base/Signal.h"

#include <functional>

namespace orvi {

// Where a web view sits on screen, as the toolkit reports it. The host widget answers;
// core code only asks, so the load and crash rules stay testable without a display.
class WebViewPlacement {
public:
    virtual ~WebViewPlacement() = default;

    virtual bool hasWindow() const = 0;
    virtual bool isWindowVisible() const = 0;
    // Calls back each time the web view's host is mapped into a shown window, until the
    // connection is dropped. A placement that cannot tell returns an empty connection and
    // the page load falls back on its timed wait.
    [[nodiscard]] virtual Connection whenWindowMapped(std::function<void()>) const { return {}; }
};

} // namespace orvi
