#include "service/RecordedRequest.h"

#include <strings.h>

namespace orvi::test {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

RecordedRequest::Pairs parseCookies(std::string_view header) {
    RecordedRequest::Pairs cookies;
    while (!header.empty()) {
        auto end = header.find(';');
        auto item = trimmed(header.substr(0, end));
        if (auto eq = item.find('='); eq != std::string_view::npos)
            cookies.emplace_back(std::string(trimmed(item.substr(0, eq))),
                                 std::string(trimmed(item.substr(eq + 1))));
        if (end == std::string_view::npos)
            break;
        header.remove_prefix(end + 1);
    }
    return cookies;
}

} // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (key.size() == name.size() && ::strncasecmp(key.data(), name.data(), name.size()) == 0)
            return value;
    return std::nullopt;
}

std::optional<std::string> RecordedRequest::cookie(std::string_view name) const {
    for (const auto& [key, value] : cookies)
        if (key == name)
            return value;
    return std::nullopt;
}

std::vector<std::string> RecordedRequest::headerNames() const {
    std::vector<std::string> names;
    for (const auto& [key, value] : headers)
        names.push_back(key);
    return names;
}

std::optional<RecordedRequest> RecordedRequest::fromRawHead(std::string_view head) {
    RecordedRequest request;
    auto lineEnd = head.find("\r\n");
    if (lineEnd == std::string_view::npos)
        return std::nullopt;
    auto requestLine = head.substr(0, lineEnd);
    auto firstSpace = requestLine.find(' ');
    auto secondSpace = requestLine.rfind(' ');
    if (firstSpace == std::string_view::npos || secondSpace <= firstSpace)
        return std::nullopt;
    request.method = std::string(requestLine.substr(0, firstSpace));
    std::string target(requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1));
    head.remove_prefix(lineEnd + 2);
    while (!head.empty()) {
        lineEnd = head.find("\r\n");
        auto line = head.substr(0, lineEnd);
        if (line.empty())
            break;
        if (auto colon = line.find(':'); colon != std::string_view::npos)
            request.headers.emplace_back(std::string(line.substr(0, colon)),
                                         std::string(trimmed(line.substr(colon + 1))));
        if (lineEnd == std::string_view::npos)
            break;
        head.remove_prefix(lineEnd + 2);
    }
    // A proxy sees absolute targets ("http://host/path"); a plain server sees paths.
    std::string pathAndQuery = target;
    if (auto scheme = target.find("://"); scheme != std::string::npos) {
        auto slash = target.find('/', scheme + 3);
        pathAndQuery = slash == std::string::npos ? "/" : target.substr(slash);
    }
    auto host = request.header("Host").value_or("");
    request.host = host.substr(0, host.find(':'));
    auto question = pathAndQuery.find('?');
    request.path = pathAndQuery.substr(0, question);
    request.query = question == std::string::npos ? "" : pathAndQuery.substr(question + 1);
    if (auto cookie = request.header("Cookie"))
        request.cookies = parseCookies(*cookie);
    return request;
}

} // namespace orvi::test
