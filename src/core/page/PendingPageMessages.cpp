#include "core/page/PendingPageMessages.h"

#include "core/base/Log.h"

namespace orvi {

void PendingPageMessages::recordCallState(const Json& body) {
    logLine("📡 Call state message received: " + toJsonText(body));
    callStates.push_back(body);
}

void PendingPageMessages::recordDownloadLink(const Json& body) {
    logLine("📋 Download link received: " + toJsonText(body));
    downloadLinks.push_back(body);
}

void PendingPageMessages::recordEngineDownload(const std::string& url) {
    logLine("⚠️ Download not handled yet, cancelled: " + url);
    engineDownloads.push_back(url);
}

void PendingPageMessages::recordMediaCaptureRequest(const std::string& origin, engine::MediaCaptureType) {
    logLine("🔐 Media capture requested by " + origin);
    mediaCaptureOrigins.push_back(origin);
}

void PendingPageMessages::startManualDownload(engine::WebView&, const std::string& url,
                                              const std::optional<std::string>& nameOverride) {
    logLine("⚠️ Manual download not handled yet: " + url);
    manualDownloads.push_back({url, nameOverride});
}

void PendingPageMessages::startManualFileDownload(engine::WebView&,
                                                  const engine::NavigationResponse& response) {
    logLine("⚠️ Manual download not handled yet: " + response.url);
    manualDownloads.push_back({response.url, response.suggestedFilename});
}

} // namespace orvi
