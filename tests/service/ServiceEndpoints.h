#pragma once

#include "core/base/Json.h"
#include "support/TestDomains.h"

#include <string>

namespace orvi::test {

// The host roles the imitation answers for, in the form of the endpoints file the
// application reads from ORVI_SERVICE_ENDPOINTS.
struct ServiceEndpoints : OrviDomains {
    ServiceEndpoints() : OrviDomains(testDomains()) {}

    Json toJson() const;
    // scheme + "://" + host + path.
    std::string url(const std::string& host, const std::string& path = "/") const;
};

} // namespace orvi::test
