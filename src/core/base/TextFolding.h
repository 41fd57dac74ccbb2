#pragma once

#include <string>
#include <string_view>

namespace orvi::text {

// Removes leading and trailing white space and line breaks, Unicode ones included
// (no-break space, the typographic spaces, line and paragraph separators).
std::string trimmed(std::string_view utf8);

// Simple Unicode case folding for the Latin, Greek and Cyrillic blocks, so that names
// compare equal ignoring case in any of the alphabets our users write in ("Работа" and
// "работа", "Σοφία" and "ΣΟΦΊΑ"). Bytes that are not valid UTF-8 are kept as they are.
std::string caseFolded(std::string_view utf8);

bool equalIgnoringCase(std::string_view a, std::string_view b);

// The first `count` characters (code points), never cutting a character in half.
std::string prefixCharacters(std::string_view utf8, std::size_t count);

} // namespace orvi::text
