#pragma once

#include "core/base/Result.h"
#include "core/web/policy/Url.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace orvi {

// Where the service lives: its scheme and every host role the navigation and response rules
// test against. The compiled-in defaults are the real service; ORVI_SERVICE_ENDPOINTS names a
// JSON file that replaces all of them at once (for the local imitation service and staging).
struct OrviDomains {
    std::string scheme;
    // The messenger's web client; also its subdomains.
    std::string webHost;
    // The registrable domain under which the web host lies.
    std::string serviceDomain;
    // The main download host (it also serves the app download page at its root) and the web
    // download host.
    std::string downloadHost;
    std::string webDownloadHost;
    // The service's file CDN.
    std::string fileHost;
    // The page that offers the desktop and mobile apps.
    std::string landingHost;
    // A web-font stylesheet host, a web-font file host and two public script CDNs.
    std::array<std::string, 4> outsideHosts;

    static OrviDomains defaults();

    // Reads the endpoints file: one object with exactly the members of the defaults. An
    // unknown, missing or mistyped member, an empty host or a scheme other than http/https is
    // an error whose message names the file and the member.
    static Result<OrviDomains> fromJsonText(std::string_view text, std::string_view sourceName);
    static Result<OrviDomains> fromFile(const std::string& path);
    // The defaults when the variable is unset or empty, else the file it names.
    static Result<OrviDomains> fromEnvironment();

    // The service web host as the rules call it.
    const std::string& allowedDomain() const { return webHost; }
    // True when the URL has a host that is the web host or one of its subdomains.
    bool isAllowed(const Url& url) const;
    bool isAllowed(std::string_view url) const;
    bool isWebHost(std::string_view lowercaseHost) const;
    // scheme + "://" + web host + "/": what the host view loads.
    std::string serviceOrigin() const;

    bool operator==(const OrviDomains&) const = default;
};

inline constexpr const char* kServiceEndpointsVariable = "ORVI_SERVICE_ENDPOINTS";
inline constexpr const char* kServiceEndpointsErrorDomain = "OrviDomains";

} // namespace orvi
