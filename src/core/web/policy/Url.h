#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvi {

// The parts of a URL that the navigation rules look at. The parser follows the browser's
// reading of URLs for the parts it yields (a backslash is a slash in http URLs, the host is
// what follows the last "@", tabs and line breaks are dropped), so that a crafted text
// cannot make the rules see a different host than the engine will load. Anything it cannot
// read with certainty is rejected rather than guessed. A general RFC 3986 parser (such as
// uriparser) would refuse or read differently exactly the texts that matter here, the ones
// where browsers and the RFC disagree, so the reading is our own and small enough to fuzz.
class Url {
public:
    static std::optional<Url> parse(std::string_view text);

    // Lower-case; empty for a relative text.
    const std::string& scheme() const { return m_scheme; }
    // Lower-case, percent-decoded; none when the URL has no authority or an empty one.
    const std::optional<std::string>& host() const { return m_host; }
    // Percent-decoded, as case-sensitive as the text.
    const std::string& path() const { return m_path; }
    // The last non-empty segment of the path; empty when there is none.
    std::string lastPathComponent() const;
    // The text as given, without surrounding white space, for log lines.
    const std::string& absoluteString() const { return m_text; }

    bool hasScheme() const { return !m_scheme.empty(); }

private:
    Url() = default;

    std::string m_text;
    std::string m_scheme;
    std::optional<std::string> m_host;
    std::string m_path;
};

// ASCII lower-casing; other bytes are left alone.
std::string asciiLowercase(std::string_view text);

} // namespace orvi
