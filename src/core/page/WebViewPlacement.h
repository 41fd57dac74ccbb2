#pragma once

namespace orvi {

// Where a web view sits on screen, as the toolkit reports it. The host widget answers;
// core code only asks, so the load and crash rules stay testable without a display.
class WebViewPlacement {
public:
    virtual ~WebViewPlacement() = default;

    virtual bool hasWindow() const = 0;
    virtual bool isWindowVisible() const = 0;
};

} // namespace orvi
