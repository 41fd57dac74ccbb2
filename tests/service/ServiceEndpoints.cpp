#include "service/ServiceEndpoints.h"

namespace orvi::test {

Json ServiceEndpoints::toJson() const {
    return Json{{"scheme", scheme},
                {"webHost", webHost},
                {"serviceDomain", serviceDomain},
                {"downloadHost", downloadHost},
                {"webDownloadHost", webDownloadHost},
                {"fileHost", fileHost},
                {"landingHost", landingHost},
                {"outsideHosts", outsideHosts}};
}

std::string ServiceEndpoints::url(const std::string& host, const std::string& path) const {
    return scheme + "://" + host + path;
}

} // namespace orvi::test
