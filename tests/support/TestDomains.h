#pragma once

#include "core/web/policy/OrviDomains.h"

namespace orvi::test {

// The endpoints the imitation service answers for, as an endpoints file would give them.
inline OrviDomains testDomains() {
    return OrviDomains{
        .scheme = "http",
        .webHost = "web.orvi.test",
        .serviceDomain = "orvi.test",
        .downloadHost = "download.orvi.test",
        .webDownloadHost = "web-download.orvi.test",
        .fileHost = "files.orvi.test",
        .landingHost = "app.orvi.test",
        .outsideHosts = {"fonts.example.test", "fontfiles.example.test", "cdn-one.example.test",
                         "cdn-two.example.test"},
    };
}

} // namespace orvi::test
