#pragma once

#include "engine/EngineTypes.h"

#include <optional>
#include <string>

namespace orvi {

namespace engine {
class WebView;
}

// Fetches a file the navigation rules refused to show, through the web view's own data store
// so that the profile's cookies go with the request. Main thread only.
class ManualDownloadStarter {
public:
    virtual ~ManualDownloadStarter() = default;

    // A link the page activated; nameOverride replaces the name the server suggests.
    virtual void startManualDownload(engine::WebView& webView, const std::string& url,
                                     const std::optional<std::string>& nameOverride) = 0;
    // A file a subframe received; it is fetched again outside the frame.
    virtual void startManualFileDownload(engine::WebView& webView,
                                         const engine::NavigationResponse& response) = 0;
};

} // namespace orvi
