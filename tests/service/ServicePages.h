#pragma once

#include "service/DownloadPages.h"

#include <string>

// The pages and scripts of the imitation service, kept apart from its routing.
namespace orvi::test::pages {

// The messenger client: a login form until the session cookies are set, then a chat list
// with unread counters, file cards, outside links and an image.
// With autoLogin the login form submits itself once shown.
std::string messengerPage(const ServiceEndpoints& endpoints, bool autoLogin = false);
std::string clientScript();
// Ways to navigate away: a link, a link to a new window, a form, a frame.
std::string linksPage();
// The page behind the service's "get the app" links.
std::string landingPage();
// Any host the service does not own.
std::string foreignPage(const std::string& host);
// An open conversation whose older history loads in pages as it is scrolled up.
std::string conversationPage();
// A one-pixel PNG image.
std::string pixelPng();

// Session events a test sets off from outside the application, on the web host:
//   "/control/session?next=rotate"  the next "/api/chats" poll of a logged-in page gets a new
//                                  session cookie (its value holds "-rotated-"), as a service
//                                  that renews its tokens does;
//   "/control/session?next=end"    that poll instead expires every cookie the service set, so
//                                  the page stays open over an empty cookie jar (a logout).
// The poll is answered with a redirect to itself carrying the cookies, so the page still gets
// its chat list.
std::optional<PageResponse> sessionPage(const RecordedRequest& request, const ServiceEndpoints& endpoints);

// A web client gone hostile, answered on its own host (a test names it the web host in the
// endpoints it hands the application): its "/" logs text that forges whole log lines through
// embedded line breaks, then tries to take the window to look-alike hosts of the service, one
// after another, and finally logs "hostile page done" (which only a page still on screen can).
inline constexpr const char* kHostileWebHost = "hostile.orvi.test";
std::optional<PageResponse> hostilePage(const RecordedRequest& request);

// "Hang, then come back", for the application's behaviour through an outage: from now on every
// request to the web host is held without an answer, until the process gets SIGUSR1.
void hangUntilSignalled();
bool holdsRequest(const RecordedRequest& request, const ServiceEndpoints& endpoints);

} // namespace orvi::test::pages
