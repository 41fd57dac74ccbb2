#include "core/page/PageRequest.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace orvi {

namespace {

// Locale and time zone come from stored or imported profiles; a line break in them would
// let a crafted profile add headers of its own, so control characters never reach a header.
std::string headerSafe(std::string_view value) {
    std::string safe;
    safe.reserve(value.size());
    for (unsigned char c : value) {
        if (c >= 0x20 && c != 0x7f)
            safe.push_back(static_cast<char>(c));
    }
    return safe;
}

std::string transformed(std::string text, int (*fn)(int)) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [fn](unsigned char c) { return static_cast<char>(fn(c)); });
    return text;
}

} // namespace

std::string PageRequest::acceptLanguage(std::string_view locale) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= locale.size()) {
        const auto end = std::min(locale.find('_', start), locale.size());
        if (end > start)
            pieces.emplace_back(locale.substr(start, end - start));
        start = end + 1;
    }
    const std::string language = pieces.empty() ? "ru" : transformed(pieces[0], ::tolower);
    const std::string region = pieces.size() < 2 ? "RU" : transformed(pieces[1], ::toupper);
    return headerSafe(language + "-" + region + "," + language + ";q=0.9,en-US;q=0.8,en;q=0.7");
}

engine::Headers PageRequest::headers(const std::string& userAgent, const LocationSettings& location) {
    return {
        {"User-Agent", headerSafe(userAgent)},
        {"Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"},
        {"Accept-Encoding", "gzip, deflate, br"},
        {"Accept-Language", acceptLanguage(location.locale)},
        {"Upgrade-Insecure-Requests", "1"},
        {"Sec-Fetch-Site", "same-origin"},
        {"Sec-Fetch-Mode", "navigate"},
        {"Sec-Fetch-Dest", "document"},
        {"Sec-Fetch-User", "?1"},
        {"X-Timezone", headerSafe(location.timezone)},
    };
}

engine::Request PageRequest::make(const std::string& url, const std::string& userAgent,
                                  const LocationSettings& location) {
    return engine::Request{url, headers(userAgent, location), engine::CachePolicy::useProtocolCachePolicy,
                           kBuildTimeout};
}

const char* PageRequest::testPageHTML() {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Test Page</title></head>"
           "<body><h1>WebView Test</h1><p>If you see this, WebView is working!</p></body></html>";
}

const char* PageRequest::fallbackPageHTML() {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>OrviWrapper</title></head>"
           "<body><h1>OrviWrapper</h1><p>Не удалось сформировать адрес для загрузки. Проверьте домен.</p>"
           "</body></html>";
}

} // namespace orvi
