#include "core/base/TextFolding.h"

#include <cstdint>
#include <optional>

namespace orvi::text {
namespace {

struct Decoded {
    char32_t codePoint;
    std::size_t length;
};

// Strict decoding: overlong forms, surrogates and values past U+10FFFF give no value.
std::optional<Decoded> decodeAt(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80)
        return Decoded{b0, 1};
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (i + length > s.size())
        return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    return Decoded{cp, length};
}

void encode(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool isWhiteSpaceOrNewline(char32_t cp) {
    switch (cp) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return cp >= 0x2000 && cp <= 0x200A;
    }
}

// In these ranges upper case sits on the even code point and lower case on the next one.
bool isEvenUpperPairRange(char32_t cp) {
    return (cp >= 0x0100 && cp <= 0x012F) || (cp >= 0x0132 && cp <= 0x0137) ||
           (cp >= 0x014A && cp <= 0x0177) || (cp >= 0x03D8 && cp <= 0x03EF) ||
           (cp >= 0x0460 && cp <= 0x0481) || (cp >= 0x048A && cp <= 0x04BF) ||
           (cp >= 0x04D0 && cp <= 0x052F) || (cp >= 0x1E00 && cp <= 0x1E95) || (cp >= 0x1EA0 && cp <= 0x1EFF);
}

// And in these, upper case sits on the odd code point.
bool isOddUpperPairRange(char32_t cp) {
    return (cp >= 0x0139 && cp <= 0x0148) || (cp >= 0x0179 && cp <= 0x017E) || (cp >= 0x04C1 && cp <= 0x04CE);
}

char32_t fold(char32_t cp) {
    if (cp < 0x80)
        return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    if ((cp >= 0x00C0 && cp <= 0x00DE && cp != 0x00D7) || (cp >= 0x0391 && cp <= 0x03AB && cp != 0x03A2) ||
        (cp >= 0x0410 && cp <= 0x042F))
        return cp + 32;
    if (cp >= 0x0400 && cp <= 0x040F)
        return cp + 80;
    if (isEvenUpperPairRange(cp))
        return (cp % 2 == 0) ? cp + 1 : cp;
    if (isOddUpperPairRange(cp))
        return (cp % 2 == 1) ? cp + 1 : cp;
    switch (cp) {
    case 0x00B5:
        return 0x03BC; // micro sign
    case 0x0178:
        return 0x00FF;
    case 0x017F:
        return 's'; // long s
    case 0x0345:
        return 0x03B9;
    case 0x0386:
        return 0x03AC;
    case 0x0388:
        return 0x03AD;
    case 0x0389:
        return 0x03AE;
    case 0x038A:
        return 0x03AF;
    case 0x038C:
        return 0x03CC;
    case 0x038E:
        return 0x03CD;
    case 0x038F:
        return 0x03CE;
    case 0x03C2:
        return 0x03C3; // final sigma
    case 0x03CF:
        return 0x03D7;
    case 0x03D0:
        return 0x03B2;
    case 0x03D1:
        return 0x03B8;
    case 0x03D5:
        return 0x03C6;
    case 0x03D6:
        return 0x03C0;
    case 0x03F0:
        return 0x03BA;
    case 0x03F1:
        return 0x03C1;
    case 0x03F4:
        return 0x03B8;
    case 0x03F5:
        return 0x03B5;
    case 0x03F7:
        return 0x03F8;
    case 0x03F9:
        return 0x03F2;
    case 0x03FA:
        return 0x03FB;
    case 0x04C0:
        return 0x04CF;
    case 0x1E9B:
        return 0x1E61;
    case 0x1E9E:
        return 0x00DF; // capital sharp s
    case 0x1FBE:
        return 0x03B9;
    case 0x2126:
        return 0x03C9; // ohm sign
    case 0x212A:
        return 'k'; // kelvin sign
    case 0x212B:
        return 0x00E5; // angstrom sign
    default:
        return cp;
    }
}

} // namespace

std::string trimmed(std::string_view utf8) {
    std::size_t begin = 0;
    while (begin < utf8.size()) {
        auto d = decodeAt(utf8, begin);
        if (!d || !isWhiteSpaceOrNewline(d->codePoint))
            break;
        begin += d->length;
    }
    std::size_t end = begin;
    for (std::size_t i = begin; i < utf8.size();) {
        auto d = decodeAt(utf8, i);
        const std::size_t length = d ? d->length : 1;
        if (!d || !isWhiteSpaceOrNewline(d->codePoint))
            end = i + length;
        i += length;
    }
    return std::string(utf8.substr(begin, end - begin));
}

std::string caseFolded(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        auto d = decodeAt(utf8, i);
        if (!d) {
            out.push_back(utf8[i++]);
            continue;
        }
        encode(fold(d->codePoint), out);
        i += d->length;
    }
    return out;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return caseFolded(a) == caseFolded(b);
}

std::string prefixCharacters(std::string_view utf8, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t taken = 0; taken < count && i < utf8.size(); ++taken) {
        auto d = decodeAt(utf8, i);
        i += d ? d->length : 1;
    }
    return std::string(utf8.substr(0, i));
}

} // namespace orvi::text
