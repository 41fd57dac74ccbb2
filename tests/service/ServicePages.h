#pragma once

#include "service/ServiceEndpoints.h"

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

} // namespace orvi::test::pages
