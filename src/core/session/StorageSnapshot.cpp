#include "core/session/StorageSnapshot.h"

#include "core/web/scripts/EmbeddedScripts.h"

#include <algorithm>
#include <cctype>

namespace orvi {
namespace {

bool isObjectOfStrings(const Json& value) {
    return value.is_object() &&
           std::all_of(value.begin(), value.end(), [](const Json& v) { return v.is_string(); });
}

std::string scriptLiteral(const std::string& text) {
    // ensure_ascii escapes every character outside ASCII, U+2028/U+2029 included, so the
    // literal is valid JavaScript in any engine version and in any source encoding.
    return Json(text).dump(-1, ' ', /*ensure_ascii=*/true, Json::error_handler_t::replace);
}

std::string restoreScript(const char* store, const Json& items) {
    std::string script = std::string("try { ") + store + ".clear();";
    for (const auto& [key, value] : items.items())
        script += std::string(store) + ".setItem(" + scriptLiteral(key) + ", " +
                  scriptLiteral(value.get_ref<const std::string&>()) + ");";
    script += std::string("} catch(e) { console.error('") + store + " restore error:', e); }";
    return script;
}

} // namespace

std::optional<StorageSnapshot> StorageSnapshot::parse(std::string_view text) {
    auto value = parseJson(text);
    if (!value)
        return std::nullopt;
    return fromJson(*value);
}

std::optional<StorageSnapshot> StorageSnapshot::fromJson(const Json& value) {
    if (!value.is_object())
        return std::nullopt;
    auto local = value.find("localStorage");
    auto session = value.find("sessionStorage");
    if (local == value.end() || session == value.end() || !isObjectOfStrings(*local) ||
        !isObjectOfStrings(*session))
        return std::nullopt;
    return StorageSnapshot{*local, *session};
}

const std::string& StorageSnapshot::captureScript() {
    // Every key is captured: profiles are already isolated by their own data stores, and a
    // filter on the service's key prefix lost the keys of sites that write without it. The
    // holders have no prototype so that a key such as "__proto__" is kept like any other.
    static const std::string script(embeddedScript("StorageCapture.js"));
    return script;
}

std::string StorageSnapshot::localRestoreScript() const {
    return restoreScript("localStorage", localStorage);
}

std::string StorageSnapshot::sessionRestoreScript() const {
    return restoreScript("sessionStorage", sessionStorage);
}

std::string hostOfUrl(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return {};
    auto rest = url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (auto at = rest.rfind('@'); at != std::string_view::npos)
        rest = rest.substr(at + 1);
    if (!rest.empty() && rest.front() == '[') {
        auto close = rest.find(']');
        return close == std::string_view::npos ? std::string() : std::string(rest.substr(0, close + 1));
    }
    rest = rest.substr(0, rest.find(':'));
    std::string host(rest);
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host;
}

} // namespace orvi
