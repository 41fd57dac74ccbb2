#pragma once

#include "engine/EngineTypes.h"

#include <jsc/jsc.h>
#include <libsoup/soup.h>
#include <optional>
#include <string>
#include <string_view>
#include <webkit/webkit.h>

// Translations between the engine interface's plain values and WebKitGTK's objects. Kept
// apart from the adapters so that every mapping rule lives in one place.
namespace orvi::engine::webkit {

// The named script world that stands for World::client.
inline constexpr const char* kClientWorldName = "orvi";

// The world name WebKit takes: none for the page's own world.
const char* worldName(World world);

Cookie cookieFromSoup(SoupCookie* cookie);
// A new SoupCookie (the caller frees it with soup_cookie_free).
SoupCookie* soupCookieFrom(const Cookie& cookie);

// Every header in the order libsoup keeps it.
Headers headersFrom(SoupMessageHeaders* headers);

NavigationResponse responseFrom(WebKitURIResponse* response, bool isForMainFrame);
NavigationAction actionFrom(WebKitNavigationAction* action, bool opensNewWindow);
NavigationType navigationTypeFrom(WebKitNavigationType type);

// Domain, code and message as the engine gives them.
Error errorFrom(const GError* error);
// A load failure, with the failures callers react to (cancelled, timed out, no host, no
// network) moved into the URL-loading domain.
Error navigationErrorFrom(const GError* error);

// The page's exception message without the "<source>:<line>:<column>: " WebKit puts first.
std::string pageExceptionMessage(std::string_view text);

// The value of an evaluation, or the error it failed with.
ScriptResult scriptResultFrom(JSCValue* value, const GError* error);
// A value the page posted to a message handler, as JSON (undefined and functions become
// null).
Json jsonFrom(JSCValue* value);

} // namespace orvi::engine::webkit
