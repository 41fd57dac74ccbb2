#include "core/web/policy/Url.h"

#include "core/base/Hex.h"

#include <algorithm>
#include <array>

namespace orvi {

namespace {

constexpr std::array<std::string_view, 6> kSpecialSchemes = {"http", "https", "ws", "wss", "ftp", "file"};

bool isSpecial(std::string_view scheme) {
    return std::find(kSpecialSchemes.begin(), kSpecialSchemes.end(), scheme) != kSpecialSchemes.end();
}

bool isAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// A "%" not followed by two hexadecimal digits stays as it is, as in browsers.
std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

// The code points a browser refuses in a host name; a host holding one of them (even
// percent-encoded) makes the whole URL unreadable.
bool isForbiddenHostByte(unsigned char c) {
    if (c <= 0x20 || c == 0x7F)
        return true;
    switch (c) {
    case '#':
    case '%':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '|':
        return true;
    default:
        return false;
    }
}

bool isValidIPv6Literal(std::string_view inside) {
    if (inside.empty())
        return false;
    return std::all_of(inside.begin(), inside.end(),
                       [](char c) { return isAsciiDigit(c) || hexValue(c) >= 0 || c == ':' || c == '.'; });
}

std::string cleaned(std::string_view text) {
    auto isC0OrSpace = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && isC0OrSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isC0OrSpace(text.back()))
        text.remove_suffix(1);
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\t' && c != '\n' && c != '\r')
            out.push_back(c);
    return out;
}

} // namespace

std::string asciiLowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::optional<Url> Url::parse(std::string_view input) {
    Url url;
    url.m_text = cleaned(input);
    std::string_view rest = url.m_text;

    // A scheme is a letter followed by letters, digits, "+", "-" or "." up to a colon.
    std::size_t colon = std::string_view::npos;
    if (!rest.empty() && isAsciiAlpha(rest.front())) {
        for (std::size_t i = 1; i < rest.size(); ++i) {
            const char c = rest[i];
            if (c == ':') {
                colon = i;
                break;
            }
            if (!isAsciiAlpha(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.')
                break;
        }
    }
    if (colon == std::string_view::npos) {
        const auto end = rest.find_first_of("?#");
        url.m_path = percentDecode(rest.substr(0, end));
        return url;
    }
    url.m_scheme = asciiLowercase(rest.substr(0, colon));
    rest.remove_prefix(colon + 1);

    const bool special = isSpecial(url.m_scheme);
    const bool isFile = url.m_scheme == "file";
    auto isSlash = [special](char c) { return c == '/' || (special && c == '\\'); };

    bool hasAuthority = false;
    if (special && !isFile) {
        // Browsers skip any run of slashes and backslashes before an http authority.
        while (!rest.empty() && isSlash(rest.front()))
            rest.remove_prefix(1);
        hasAuthority = true;
    } else if (rest.size() >= 2 && isSlash(rest[0]) && isSlash(rest[1])) {
        rest.remove_prefix(2);
        hasAuthority = true;
    }

    if (hasAuthority) {
        std::size_t end = 0;
        while (end < rest.size() && !isSlash(rest[end]) && rest[end] != '?' && rest[end] != '#')
            ++end;
        std::string_view authority = rest.substr(0, end);
        rest.remove_prefix(end);

        const auto at = authority.rfind('@');
        if (at != std::string_view::npos)
            authority.remove_prefix(at + 1);

        std::string_view hostText = authority;
        std::string_view port;
        if (!authority.empty() && authority.front() == '[') {
            const auto close = authority.find(']');
            if (close == std::string_view::npos || !isValidIPv6Literal(authority.substr(1, close - 1)))
                return std::nullopt;
            hostText = authority.substr(0, close + 1);
            std::string_view after = authority.substr(close + 1);
            if (!after.empty()) {
                if (after.front() != ':')
                    return std::nullopt;
                port = after.substr(1);
            }
        } else if (const auto portColon = authority.find(':'); portColon != std::string_view::npos) {
            hostText = authority.substr(0, portColon);
            port = authority.substr(portColon + 1);
        }
        if (port.size() > 5 || !std::all_of(port.begin(), port.end(), isAsciiDigit) ||
            (!port.empty() && std::stoi(std::string(port)) > 65535))
            return std::nullopt;

        if (!hostText.empty() && hostText.front() == '[') {
            url.m_host = asciiLowercase(hostText);
        } else {
            std::string host = asciiLowercase(special ? percentDecode(hostText) : std::string(hostText));
            if (special && std::any_of(host.begin(), host.end(), [](char c) {
                    return isForbiddenHostByte(static_cast<unsigned char>(c));
                }))
                return std::nullopt;
            if (host.empty() && special && !isFile)
                return std::nullopt;
            if (!host.empty())
                url.m_host = std::move(host);
        }
    }

    const auto pathEnd = rest.find_first_of("?#");
    std::string rawPath(rest.substr(0, pathEnd));
    if (special)
        std::replace(rawPath.begin(), rawPath.end(), '\\', '/');
    url.m_path = percentDecode(rawPath);
    return url;
}

std::string Url::lastPathComponent() const {
    std::string_view path = m_path;
    while (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace orvi
