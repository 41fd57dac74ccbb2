#include "core/web/policy/OrviDomains.h"

#include "core/base/Json.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace orvi {

namespace {

// An endpoints file is a dozen lines; anything this large is not one.
constexpr std::size_t kMaxEndpointsFileSize = 64 * 1024;

enum class EndpointsErrorCode { unreadable = 1, notJson, unknownMember, missingMember, wrongType, badValue };

Error endpointsError(EndpointsErrorCode code, std::string_view sourceName, const std::string& detail) {
    return Error{kServiceEndpointsErrorDomain, static_cast<int>(code),
                 "Invalid service endpoints file " + std::string(sourceName) + ": " + detail};
}

// A host role must be a bare lower-case host: an empty one would match every host by
// substring, and one with a scheme, path or port would never match at all.
std::optional<std::string> hostProblem(const std::string& host) {
    if (host.empty())
        return "must not be empty";
    if (host != asciiLowercase(host))
        return "must be lower-case";
    const auto parsed = Url::parse("http://" + host + "/");
    if (!parsed || !parsed->host() || *parsed->host() != host || host.find(':') != std::string::npos ||
        host.find('@') != std::string::npos)
        return "is not a host name";
    return std::nullopt;
}

} // namespace

OrviDomains OrviDomains::defaults() {
    return OrviDomains{
        .scheme = "https",
        .webHost = "web.orvi.ru",
        .serviceDomain = "orvi.ru",
        .downloadHost = "download.orvi.ru",
        .webDownloadHost = "web-download.orvi.ru",
        .fileHost = "files.orvi.ru",
        .landingHost = "app.orvi.ru",
        .outsideHosts = {"fonts.googleapis.com", "fonts.gstatic.com", "cdnjs.cloudflare.com",
                         "cdn.jsdelivr.net"},
    };
}

Result<OrviDomains> OrviDomains::fromJsonText(std::string_view text, std::string_view sourceName) {
    const auto json = parseJson(text);
    if (!json)
        return endpointsError(EndpointsErrorCode::notJson, sourceName, "not valid JSON");
    if (!json->is_object())
        return endpointsError(EndpointsErrorCode::notJson, sourceName, "not a JSON object");

    OrviDomains domains;
    struct TextMember {
        const char* name;
        std::string OrviDomains::*field;
    };
    const TextMember textMembers[] = {
        {"scheme", &OrviDomains::scheme},
        {"webHost", &OrviDomains::webHost},
        {"serviceDomain", &OrviDomains::serviceDomain},
        {"downloadHost", &OrviDomains::downloadHost},
        {"webDownloadHost", &OrviDomains::webDownloadHost},
        {"fileHost", &OrviDomains::fileHost},
        {"landingHost", &OrviDomains::landingHost},
    };
    constexpr const char* kOutsideHosts = "outsideHosts";

    std::set<std::string> known = {kOutsideHosts};
    for (const auto& member : textMembers)
        known.insert(member.name);
    for (const auto& [key, value] : json->items())
        if (!known.count(key))
            return endpointsError(EndpointsErrorCode::unknownMember, sourceName,
                                  "unknown member \"" + key + "\"");

    for (const auto& member : textMembers) {
        const auto it = json->find(member.name);
        if (it == json->end())
            return endpointsError(EndpointsErrorCode::missingMember, sourceName,
                                  std::string("missing member \"") + member.name + "\"");
        if (!it->is_string())
            return endpointsError(EndpointsErrorCode::wrongType, sourceName,
                                  std::string("member \"") + member.name + "\" must be a string");
        domains.*member.field = it->get<std::string>();
    }

    const auto hosts = json->find(kOutsideHosts);
    if (hosts == json->end())
        return endpointsError(EndpointsErrorCode::missingMember, sourceName,
                              "missing member \"outsideHosts\"");
    if (!hosts->is_array() || hosts->size() != domains.outsideHosts.size())
        return endpointsError(EndpointsErrorCode::wrongType, sourceName,
                              "member \"outsideHosts\" must be an array of 4 strings");
    for (std::size_t i = 0; i < domains.outsideHosts.size(); ++i) {
        if (!(*hosts)[i].is_string())
            return endpointsError(EndpointsErrorCode::wrongType, sourceName,
                                  "member \"outsideHosts\" must be an array of 4 strings");
        domains.outsideHosts[i] = (*hosts)[i].get<std::string>();
    }

    if (domains.scheme != "http" && domains.scheme != "https")
        return endpointsError(EndpointsErrorCode::badValue, sourceName,
                              "member \"scheme\" must be \"http\" or \"https\"");
    for (const auto& member : textMembers) {
        if (member.field == &OrviDomains::scheme)
            continue;
        if (const auto problem = hostProblem(domains.*member.field))
            return endpointsError(EndpointsErrorCode::badValue, sourceName,
                                  std::string("member \"") + member.name + "\" " + *problem);
    }
    for (const auto& host : domains.outsideHosts)
        if (const auto problem = hostProblem(host))
            return endpointsError(EndpointsErrorCode::badValue, sourceName,
                                  "member \"outsideHosts\" entry \"" + host + "\" " + *problem);
    return domains;
}

Result<OrviDomains> OrviDomains::fromFile(const std::string& path) {
    // Not blocking on open, and checked before reading: a FIFO or a device named here would
    // otherwise hold start-up forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return endpointsError(EndpointsErrorCode::unreadable, path, "cannot be opened");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return endpointsError(EndpointsErrorCode::unreadable, path, "cannot be read");
    if (!S_ISREG(info.st_mode))
        return endpointsError(EndpointsErrorCode::unreadable, path, "is not a regular file");
    if (static_cast<std::uintmax_t>(info.st_size) > kMaxEndpointsFileSize)
        return endpointsError(EndpointsErrorCode::unreadable, path, "is too large");
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return endpointsError(EndpointsErrorCode::unreadable, path, "cannot be read");
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxEndpointsFileSize)
            return endpointsError(EndpointsErrorCode::unreadable, path, "is too large");
    }
    return fromJsonText(text, path);
}

Result<OrviDomains> OrviDomains::fromEnvironment() {
    const char* path = std::getenv(kServiceEndpointsVariable);
    if (!path || !*path)
        return defaults();
    return fromFile(path);
}

bool OrviDomains::isWebHost(std::string_view host) const {
    if (host == webHost)
        return true;
    return host.size() > webHost.size() + 1 && host.ends_with(webHost) &&
           host[host.size() - webHost.size() - 1] == '.';
}

bool OrviDomains::isAllowed(const Url& url) const {
    return url.host() && isWebHost(*url.host());
}

bool OrviDomains::isAllowed(std::string_view url) const {
    const auto parsed = Url::parse(url);
    return parsed && isAllowed(*parsed);
}

std::string OrviDomains::serviceOrigin() const {
    return scheme + "://" + webHost + "/";
}

} // namespace orvi
