#include "engine/webkit/WebKitConversions.h"

#include <cctype>
#include <cmath>

namespace orvi::engine::webkit {

const char* worldName(World world) {
    return world == World::client ? kClientWorldName : nullptr;
}

Cookie cookieFromSoup(SoupCookie* soup) {
    Cookie cookie;
    cookie.name = soup_cookie_get_name(soup);
    cookie.value = soup_cookie_get_value(soup);
    cookie.domain = soup_cookie_get_domain(soup) ? soup_cookie_get_domain(soup) : "";
    cookie.path = soup_cookie_get_path(soup) ? soup_cookie_get_path(soup) : "/";
    cookie.isSecure = soup_cookie_get_secure(soup);
    cookie.isHTTPOnly = soup_cookie_get_http_only(soup);
    if (GDateTime* expires = soup_cookie_get_expires(soup))
        cookie.expiresDate = static_cast<double>(g_date_time_to_unix(expires)) +
                             static_cast<double>(g_date_time_get_microsecond(expires)) / 1e6;
    switch (soup_cookie_get_same_site_policy(soup)) {
    case SOUP_SAME_SITE_POLICY_NONE:
        cookie.sameSitePolicy = "none";
        break;
    case SOUP_SAME_SITE_POLICY_LAX:
        cookie.sameSitePolicy = "lax";
        break;
    case SOUP_SAME_SITE_POLICY_STRICT:
        cookie.sameSitePolicy = "strict";
        break;
    }
    return cookie;
}

SoupCookie* soupCookieFrom(const Cookie& cookie) {
    SoupCookie* soup = soup_cookie_new(cookie.name.c_str(), cookie.value.c_str(), cookie.domain.c_str(),
                                       cookie.path.empty() ? "/" : cookie.path.c_str(), -1);
    soup_cookie_set_secure(soup, cookie.isSecure);
    soup_cookie_set_http_only(soup, cookie.isHTTPOnly);
    if (cookie.expiresDate) {
        double seconds = std::floor(*cookie.expiresDate);
        GDateTime* expires = g_date_time_new_from_unix_utc(static_cast<gint64>(seconds));
        if (expires) {
            soup_cookie_set_expires(soup, expires);
            g_date_time_unref(expires);
        }
    }
    if (cookie.sameSitePolicy) {
        std::string policy;
        for (char c : *cookie.sameSitePolicy)
            policy += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (policy == "none")
            soup_cookie_set_same_site_policy(soup, SOUP_SAME_SITE_POLICY_NONE);
        else if (policy == "lax")
            soup_cookie_set_same_site_policy(soup, SOUP_SAME_SITE_POLICY_LAX);
        else if (policy == "strict")
            soup_cookie_set_same_site_policy(soup, SOUP_SAME_SITE_POLICY_STRICT);
    }
    return soup;
}

Headers headersFrom(SoupMessageHeaders* headers) {
    Headers result;
    if (!headers)
        return result;
    SoupMessageHeadersIter iter;
    soup_message_headers_iter_init(&iter, headers);
    const char* name = nullptr;
    const char* value = nullptr;
    while (soup_message_headers_iter_next(&iter, &name, &value))
        result.emplace_back(name, value ? value : "");
    return result;
}

NavigationResponse responseFrom(WebKitURIResponse* response, bool isForMainFrame) {
    NavigationResponse result;
    const char* uri = webkit_uri_response_get_uri(response);
    result.url = uri ? uri : "";
    result.isHTTP = result.url.rfind("http://", 0) == 0 || result.url.rfind("https://", 0) == 0;
    result.statusCode = static_cast<int>(webkit_uri_response_get_status_code(response));
    const char* mime = webkit_uri_response_get_mime_type(response);
    result.mimeType = mime ? mime : "";
    result.headers = headersFrom(webkit_uri_response_get_http_headers(response));
    result.isForMainFrame = isForMainFrame;
    if (const char* name = webkit_uri_response_get_suggested_filename(response); name && *name)
        result.suggestedFilename = name;
    return result;
}

NavigationType navigationTypeFrom(WebKitNavigationType type) {
    switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
        return NavigationType::linkActivated;
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
        return NavigationType::formSubmitted;
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
        return NavigationType::backForward;
    case WEBKIT_NAVIGATION_TYPE_RELOAD:
        return NavigationType::reload;
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
        return NavigationType::formResubmitted;
    case WEBKIT_NAVIGATION_TYPE_OTHER:
        break;
    }
    return NavigationType::other;
}

NavigationAction actionFrom(WebKitNavigationAction* action, bool opensNewWindow) {
    NavigationAction result;
    if (WebKitURIRequest* request = webkit_navigation_action_get_request(action))
        if (const char* uri = webkit_uri_request_get_uri(request))
            result.url = uri;
    result.navigationType = navigationTypeFrom(webkit_navigation_action_get_navigation_type(action));
    // WebKitGTK does not say whether an action targets a subframe; a new window is never one.
    if (opensNewWindow)
        result.targetsMainFrame = true;
    result.opensNewWindow = opensNewWindow;
    result.isUserGesture = webkit_navigation_action_is_user_gesture(action);
    return result;
}

Error errorFrom(const GError* error) {
    if (!error)
        return Error{"WebKitError", 0, "unknown error"};
    return Error{g_quark_to_string(error->domain), error->code, error->message ? error->message : ""};
}

Error navigationErrorFrom(const GError* error) {
    Error result = errorFrom(error);
    if (!error)
        return result;
    auto urlError = [&](int code) { return Error{kURLErrorDomain, code, result.message}; };
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        return urlError(kURLErrorCancelled);
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT))
        return urlError(kURLErrorTimedOut);
    if (error->domain == G_RESOLVER_ERROR)
        return urlError(kURLErrorCannotFindHost);
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED) ||
        g_error_matches(error, G_IO_ERROR, G_IO_ERROR_HOST_UNREACHABLE))
        return urlError(kURLErrorCannotConnectToHost);
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NETWORK_UNREACHABLE))
        return urlError(kURLErrorNotConnectedToInternet);
    return result;
}

std::string pageExceptionMessage(std::string_view text) {
    // WebKitGTK writes "<source URI>:<line>:<column>: <message>"; the source URI may hold
    // colons of its own, so look for the first ":digits:digits: " run.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ':')
            continue;
        std::size_t j = i + 1;
        auto digits = [&] {
            std::size_t start = j;
            while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])))
                ++j;
            return j > start;
        };
        if (!digits() || j >= text.size() || text[j] != ':')
            continue;
        ++j;
        if (!digits() || text.substr(j, 2) != ": ")
            continue;
        return std::string(text.substr(j + 2));
    }
    return std::string(text);
}

Json jsonFrom(JSCValue* value) {
    if (!value || jsc_value_is_undefined(value) || jsc_value_is_null(value))
        return Json();
    char* text = jsc_value_to_json(value, 0);
    if (!text)
        return Json();
    auto parsed = parseJson(text);
    g_free(text);
    return parsed ? std::move(*parsed) : Json();
}

ScriptResult scriptResultFrom(JSCValue* value, const GError* error) {
    if (!error)
        return ScriptResult(jsonFrom(value));
    if (g_error_matches(error, WEBKIT_JAVASCRIPT_ERROR, WEBKIT_JAVASCRIPT_ERROR_SCRIPT_FAILED))
        return ScriptResult(
            Error{kJavaScriptErrorDomain, kJavaScriptExceptionCode, pageExceptionMessage(error->message)});
    if (g_error_matches(error, WEBKIT_JAVASCRIPT_ERROR, WEBKIT_JAVASCRIPT_ERROR_INVALID_RESULT))
        return ScriptResult(
            Error{kJavaScriptErrorDomain, kJavaScriptResultTypeUnsupportedCode, error->message});
    if (g_error_matches(error, WEBKIT_JAVASCRIPT_ERROR, WEBKIT_JAVASCRIPT_ERROR_INVALID_PARAMETER))
        return ScriptResult(Error{kJavaScriptErrorDomain, kJavaScriptInvalidArgumentsCode, error->message});
    return ScriptResult(errorFrom(error));
}

} // namespace orvi::engine::webkit
