#pragma once

#include "core/base/Json.h"
#include "core/web/policy/ManualDownloadStarter.h"
#include "engine/EngineTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace orvi {

// Where call-state reports, download requests and media-capture requests of the page go
// while their handling is built elsewhere: each is logged and kept, so nothing the page
// asks for disappears silently, and tests can see what arrived. Main thread only.
class PendingPageMessages final : public ManualDownloadStarter {
public:
    struct ManualDownload {
        std::string url;
        std::optional<std::string> nameOverride;
    };

    void recordCallState(const Json& body);
    void recordDownloadLink(const Json& body);
    void recordEngineDownload(const std::string& url);
    void recordMediaCaptureRequest(const std::string& origin, engine::MediaCaptureType type);

    void startManualDownload(engine::WebView& webView, const std::string& url,
                             const std::optional<std::string>& nameOverride) override;
    void startManualFileDownload(engine::WebView& webView,
                                 const engine::NavigationResponse& response) override;

    std::vector<Json> callStates;
    std::vector<Json> downloadLinks;
    std::vector<std::string> engineDownloads;
    std::vector<ManualDownload> manualDownloads;
    std::vector<std::string> mediaCaptureOrigins;
};

} // namespace orvi
