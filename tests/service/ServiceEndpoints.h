#pragma once

#include "core/base/Json.h"

#include <string>
#include <vector>

namespace orvi::test {

// The host roles the imitation answers for, in the form of the endpoints file the
// application reads from ORVI_SERVICE_ENDPOINTS.
struct ServiceEndpoints {
    std::string scheme = "http";
    std::string webHost = "web.orvi.test";
    std::string serviceDomain = "orvi.test";
    std::string downloadHost = "download.orvi.test";
    std::string webDownloadHost = "web-download.orvi.test";
    std::string fileHost = "files.orvi.test";
    std::string landingHost = "app.orvi.test";
    std::vector<std::string> outsideHosts = {"fonts.example.test", "fontfiles.example.test",
                                             "cdn-one.example.test", "cdn-two.example.test"};

    Json toJson() const;
    // scheme + "://" + host + path.
    std::string url(const std::string& host, const std::string& path = "/") const;
};

} // namespace orvi::test
