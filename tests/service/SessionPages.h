#pragma once

#include "service/DownloadPages.h"

#include <optional>

// Session events a test sets off from outside the application, on the web host:
//   "/control/session?next=rotate"  the next "/api/chats" poll of a logged-in page gets a new
//                                  session cookie (its value holds "-rotated-"), as a service
//                                  that renews its tokens does;
//   "/control/session?next=end"    that poll instead expires every cookie the service set, so
//                                  the page stays open over an empty cookie jar (a logout).
// The poll is answered with a redirect to itself carrying the cookies, so the page still gets
// its chat list.
namespace orvi::test::pages {

std::optional<PageResponse> sessionPage(const RecordedRequest& request, const ServiceEndpoints& endpoints);

} // namespace orvi::test::pages
