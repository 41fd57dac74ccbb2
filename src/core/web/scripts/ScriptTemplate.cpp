#include "core/web/scripts/ScriptTemplate.h"

namespace orvi {

std::string fillScriptTemplate(std::string_view text,
                               const std::map<std::string, std::string, std::less<>>& values) {
    std::string out;
    out.reserve(text.size() + 256);
    std::size_t position = 0;
    while (position < text.size()) {
        const auto open = text.find("{{", position);
        if (open == std::string_view::npos)
            break;
        const auto close = text.find("}}", open + 2);
        if (close == std::string_view::npos)
            break;
        out.append(text.substr(position, open - position));
        const auto value = values.find(text.substr(open + 2, close - open - 2));
        if (value != values.end())
            out.append(value->second);
        else
            out.append(text.substr(open, close + 2 - open));
        position = close + 2;
    }
    out.append(text.substr(position));
    return out;
}

} // namespace orvi
