#pragma once

#include "core/web/policy/ManualDownloadStarter.h"

#include <optional>
#include <string>
#include <vector>

namespace orvi::test {

// Records the manual downloads the navigation rules ask for.
class RecordingManualDownloadStarter final : public ManualDownloadStarter {
public:
    struct LinkDownload {
        engine::WebView* webView;
        std::string url;
        std::optional<std::string> nameOverride;
    };
    struct FileDownload {
        engine::WebView* webView;
        engine::NavigationResponse response;
    };

    void startManualDownload(engine::WebView& webView, const std::string& url,
                             const std::optional<std::string>& nameOverride) override {
        links.push_back(LinkDownload{&webView, url, nameOverride});
    }
    void startManualFileDownload(engine::WebView& webView,
                                 const engine::NavigationResponse& response) override {
        files.push_back(FileDownload{&webView, response});
    }

    std::vector<LinkDownload> links;
    std::vector<FileDownload> files;
};

} // namespace orvi::test
