#include "core/session/ExportFormat.h"

#include <cmath>
#include <ctime>

namespace orvi::exportformat {
namespace {

void appendString(std::string& out, const std::string& text) {
    std::string escaped = Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
    out.reserve(out.size() + escaped.size());
    for (char c : escaped) {
        if (c == '/')
            out += "\\/";
        else
            out += c;
    }
}

void appendNumber(std::string& out, const Json& value) {
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // Whole numbers print without a fraction, as the other version writes them.
        if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < 9007199254740992.0) {
            out += std::to_string(static_cast<long long>(number));
            return;
        }
    }
    out += value.dump();
}

void append(std::string& out, const Json& value, int depth) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    const std::string inner(static_cast<std::size_t>(depth + 1) * 2, ' ');
    switch (value.type()) {
    case Json::value_t::object: {
        if (value.empty()) {
            out += "{\n\n" + indent + "}";
            return;
        }
        out += "{\n";
        bool first = true;
        for (const auto& [key, member] : value.items()) {
            if (!first)
                out += ",\n";
            first = false;
            out += inner;
            appendString(out, key);
            out += " : ";
            append(out, member, depth + 1);
        }
        out += "\n" + indent + "}";
        return;
    }
    case Json::value_t::array: {
        if (value.empty()) {
            out += "[\n\n" + indent + "]";
            return;
        }
        out += "[\n";
        bool first = true;
        for (const auto& element : value) {
            if (!first)
                out += ",\n";
            first = false;
            out += inner;
            append(out, element, depth + 1);
        }
        out += "\n" + indent + "]";
        return;
    }
    case Json::value_t::string:
        appendString(out, value.get_ref<const std::string&>());
        return;
    case Json::value_t::number_float:
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
        appendNumber(out, value);
        return;
    default:
        out += value.dump();
        return;
    }
}

} // namespace

std::string prettyText(const Json& value) {
    std::string out;
    append(out, value, 0);
    return out;
}

std::string fileStem(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d_%H-%M", &local);
    return std::string(kFileNamePrefix) + buffer;
}

std::string internetDateTime(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

} // namespace orvi::exportformat
