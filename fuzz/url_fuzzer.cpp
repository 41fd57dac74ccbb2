#include "core/web/policy/FileURLRules.h"
#include "core/web/scripts/JavaScriptLiteral.h"
#include "core/web/policy/OrviDomains.h"
#include "core/web/policy/Url.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Navigation URLs and stored texts come from pages and files we do not control: reading
// them must never crash, and a literal built from them must never hold a raw line break,
// quote or "<".
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static const auto domains = orvi::OrviDomains::defaults();
    if (const auto url = orvi::Url::parse(text)) {
        (void)url->lastPathComponent();
        (void)domains.isAllowed(*url);
        (void)orvi::isFileLikeURL(*url, domains);
        (void)orvi::isFileDownloadURL(*url, domains);
    }
    const std::string literal = orvi::javaScriptStringLiteral(text);
    for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(literal[i]);
        if (c < 0x20 || c == '<' || c == '\'' || (c == '"' && literal[i - 1] != '\\'))
            __builtin_trap();
    }
    return 0;
}
