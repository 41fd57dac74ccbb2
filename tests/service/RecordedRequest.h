#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvi::test {

// One request as it arrived at the imitation service: the request line and the header
// lines exactly as sent (order and spelling kept), and the cookies of its Cookie header.
struct RecordedRequest {
    using Pairs = std::vector<std::pair<std::string, std::string>>;

    std::string method;
    std::string host;
    std::string path;
    std::string query;
    Pairs headers;
    Pairs cookies;
    std::string body;

    // The first header of that name, compared without regard to case.
    std::optional<std::string> header(std::string_view name) const;
    std::optional<std::string> cookie(std::string_view name) const;
    std::vector<std::string> headerNames() const;

    // Parses the request line and header lines of a raw HTTP request head.
    static std::optional<RecordedRequest> fromRawHead(std::string_view head);
};

} // namespace orvi::test
