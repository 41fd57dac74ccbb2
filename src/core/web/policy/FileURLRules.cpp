#include "core/web/policy/FileURLRules.h"

#include <algorithm>
#include <array>

namespace orvi {

namespace {

constexpr std::array<std::string_view, 7> kFilePathMarkers = {
    "/download", "/file", "/files", "/attachment", "/attach", "/get/", "/blob/",
};

constexpr std::array<std::string_view, 21> kFileLikeExtensions = {
    ".pdf", ".doc",  ".docx", ".rtf",  ".xls", ".xlsx", ".csv", ".zip", ".rar", ".7z",  ".png",
    ".jpg", ".jpeg", ".gif",  ".webp", ".mp4", ".mov",  ".m4v", ".mp3", ".m4a", ".ogg",
};

// Unlike the file-like list this one has no ".rtf": such a link is let through to a foreign
// host but not fetched as a download.
constexpr std::array<std::string_view, 20> kFileDownloadExtensions = {
    ".pdf", ".doc",  ".docx", ".zip",  ".rar", ".7z",  ".xls", ".xlsx", ".csv", ".png",
    ".jpg", ".jpeg", ".gif",  ".webp", ".mp4", ".mov", ".m4v", ".mp3",  ".m4a", ".ogg",
};

bool containsAny(std::string_view text, const auto& needles) {
    return std::any_of(std::begin(needles), std::end(needles),
                       [&](std::string_view needle) { return text.find(needle) != std::string_view::npos; });
}

bool hasExtension(const Url& url, const auto& extensions) {
    const std::string last = asciiLowercase(url.lastPathComponent());
    if (last.find('.') == std::string::npos)
        return false;
    return std::any_of(std::begin(extensions), std::end(extensions),
                       [&](std::string_view extension) { return last.ends_with(extension); });
}

} // namespace

bool hostMatchesRole(std::string_view host, std::string_view role) {
    if (role.empty())
        return false;
    if (host == role)
        return true;
    return host.size() > role.size() && host.ends_with(role) && host[host.size() - role.size() - 1] == '.';
}

bool isFileLikeURL(const Url& url, const OrviDomains& domains) {
    const std::string path = asciiLowercase(url.path());
    if (containsAny(path, kFilePathMarkers))
        return true;
    if (hasExtension(url, kFileLikeExtensions))
        return true;
    const std::string host = url.host().value_or("");
    return hostMatchesRole(host, domains.fileHost) && path.find("getfile") != std::string::npos;
}

bool isFileDownloadURL(const Url& url, const OrviDomains& domains) {
    if (!url.host())
        return false;
    const std::string& host = *url.host();
    if (hostMatchesRole(host, domains.downloadHost) || hostMatchesRole(host, domains.webDownloadHost) ||
        hostMatchesRole(host, domains.fileHost))
        return true;
    if (!hostMatchesRole(host, domains.serviceDomain))
        return false;

    const std::string path = asciiLowercase(url.path());
    bool byPath = false;
    if (containsAny(path, kFilePathMarkers))
        byPath = true;
    else if (path.find("/api/") != std::string::npos)
        byPath = containsAny(path, std::array<std::string_view, 3>{"file", "attach", "download"});
    if (hasExtension(url, kFileDownloadExtensions))
        return true;
    return byPath;
}

bool isFileDownloadURL(std::string_view url, const OrviDomains& domains) {
    const auto parsed = Url::parse(url);
    return parsed && isFileDownloadURL(*parsed, domains);
}

} // namespace orvi
