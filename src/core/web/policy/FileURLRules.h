#pragma once

#include "core/web/policy/OrviDomains.h"
#include "core/web/policy/Url.h"

namespace orvi {

// Whether a link looks like a file: lets a navigation through to a foreign host.
bool isFileLikeURL(const Url& url, const OrviDomains& domains);

// Whether a link on the service should be fetched as a download instead of shown.
bool isFileDownloadURL(const Url& url, const OrviDomains& domains);
bool isFileDownloadURL(std::string_view url, const OrviDomains& domains);

// True when the host is the role's host or lies under it ("x." + role). Matching on label
// boundaries keeps a look-alike such as role + ".evil.example" out; an empty role matches
// nothing.
bool hostMatchesRole(std::string_view host, std::string_view role);

} // namespace orvi
