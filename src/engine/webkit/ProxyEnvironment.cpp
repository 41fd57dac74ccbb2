#include "engine/webkit/ProxyEnvironment.h"

#include <cstdlib>
#include <glib.h>

namespace orvi::engine::webkit {

Result<std::optional<std::string>> parseProxySetting(const std::string& text) {
    if (text.empty())
        return std::optional<std::string>();
    auto invalid = [&] {
        return Error{"OrviProxy", 1,
                     std::string(kProxyVariable) + " must look like http://host:port, got \"" + text + "\""};
    };
    GError* error = nullptr;
    GUri* uri = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, &error);
    if (!uri) {
        g_clear_error(&error);
        return invalid();
    }
    const char* scheme = g_uri_get_scheme(uri);
    const char* host = g_uri_get_host(uri);
    const char* path = g_uri_get_path(uri);
    bool valid = scheme && g_str_equal(scheme, "http") && host && *host && g_uri_get_port(uri) > 0 &&
                 !g_uri_get_userinfo(uri) && (!path || !*path || g_str_equal(path, "/")) &&
                 !g_uri_get_query(uri) && !g_uri_get_fragment(uri);
    g_uri_unref(uri);
    if (!valid)
        return invalid();
    return std::optional<std::string>(text);
}

Result<std::optional<std::string>> proxyFromEnvironment() {
    const char* value = std::getenv(kProxyVariable);
    return parseProxySetting(value ? value : "");
}

} // namespace orvi::engine::webkit
