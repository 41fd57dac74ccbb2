#pragma once

#include "core/base/Json.h"
#include "core/base/Result.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvi::engine {

// One cookie as the engine's cookie store holds it.
struct Cookie {
    std::string name;
    std::string value;
    std::string domain;
    std::string path = "/";
    bool isSecure = false;
    bool isHTTPOnly = false;
    // Seconds since 1970-01-01T00:00:00Z; none for a session cookie.
    std::optional<double> expiresDate;
    // The SameSite policy text as the engine reports it ("lax", "strict", "none").
    std::optional<std::string> sameSitePolicy;

    bool operator==(const Cookie&) const = default;
};

using Headers = std::vector<std::pair<std::string, std::string>>;

enum class CachePolicy {
    useProtocolCachePolicy,
    reloadIgnoringLocalCacheData,
    returnCacheDataElseLoad,
};

// A request is sent with exactly these headers, in this order.
struct Request {
    std::string url;
    Headers headers;
    CachePolicy cachePolicy = CachePolicy::useProtocolCachePolicy;
    double timeoutSeconds = 60.0;
};

// The engine's numbers for navigation types are printed in log lines and kept as such.
enum class NavigationType {
    linkActivated = 0,
    formSubmitted = 1,
    backForward = 2,
    reload = 3,
    formResubmitted = 4,
    other = -1,
};

struct NavigationAction {
    std::string url;
    NavigationType navigationType = NavigationType::other;
    // The engine does not always say which frame is targeted; none means unknown, which
    // the rules treat like the main frame.
    std::optional<bool> targetsMainFrame;
    bool opensNewWindow = false;
    bool isUserGesture = false;
    // The engine asks for this action to become a download (a "download" attribute).
    bool shouldPerformDownload = false;
};

struct NavigationResponse {
    std::string url;
    bool isHTTP = true;
    int statusCode = 200;
    std::string mimeType;
    Headers headers;
    bool isForMainFrame = true;
    std::optional<std::string> suggestedFilename;

    // Header names compare without regard to case.
    std::optional<std::string> header(std::string_view name) const {
        for (const auto& [key, value] : headers) {
            if (key.size() == name.size() &&
                std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                }))
                return value;
        }
        return std::nullopt;
    }
};

enum class PolicyDecision { allow, cancel, download };

enum class World {
    // The page's own world: page scripts see what is defined here.
    page,
    // An isolated world of our own (the engine's named world), invisible to the page.
    client,
};

enum class InjectionTime { documentStart, documentEnd };
enum class FrameScope { mainFrameOnly, allFrames };

struct UserScript {
    std::string source;
    InjectionTime injectionTime = InjectionTime::documentStart;
    FrameScope frameScope = FrameScope::mainFrameOnly;
    World world = World::page;

    bool operator==(const UserScript&) const = default;
};

// The result of evaluating a script: its value as JSON, or an error whose message is the
// page's exception message.
using ScriptResult = Result<Json, Error>;

inline constexpr const char* kJavaScriptErrorDomain = "WKErrorDomain";
inline constexpr int kJavaScriptExceptionCode = 4;
inline constexpr int kJavaScriptResultTypeUnsupportedCode = 5;
// The web view went away before the script answered.
inline constexpr int kWebViewInvalidatedCode = 3;
// The script did not settle within the engine's own time limit (a promise that never
// settles would otherwise never answer).
inline constexpr int kJavaScriptTimedOutCode = 6;
// The arguments of callAsyncJavaScript cannot be handed to the page (not an object, or a
// name that is not a plain identifier).
inline constexpr int kJavaScriptInvalidArgumentsCode = 7;

// Navigation failures that callers react to are reported in the URL-loading domain with its
// codes; every other failure keeps the engine's own domain, code and message.
inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
inline constexpr int kURLErrorCancelled = -999;
inline constexpr int kURLErrorTimedOut = -1001;
inline constexpr int kURLErrorCannotFindHost = -1003;
inline constexpr int kURLErrorCannotConnectToHost = -1004;
inline constexpr int kURLErrorNotConnectedToInternet = -1009;
// A navigation that a policy decision cancelled or turned into a download ends with this.
inline constexpr const char* kWebKitErrorDomain = "WebKitErrorDomain";
inline constexpr int kWebKitErrorFrameLoadInterruptedByPolicyChange = 102;

enum class MediaCaptureType { camera, microphone, cameraAndMicrophone };
enum class PermissionDecision { prompt, grant, deny };

enum class ProcessTerminationReason { crashed, exceededMemoryLimit, terminatedByClient };

} // namespace orvi::engine
