#include "core/base/Json.h"

namespace orvi {

std::optional<Json> parseJson(std::string_view text) {
    // A hostile file of nested brackets must not exhaust the stack of the recursive parser.
    bool tooDeep = false;
    auto callback = [&](int depth, Json::parse_event_t event, Json&) {
        if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
            depth >= kMaxJsonDepth)
            tooDeep = true;
        return !tooDeep;
    };
    Json value = Json::parse(text.begin(), text.end(), callback, /*allow_exceptions=*/false);
    if (tooDeep || value.is_discarded())
        return std::nullopt;
    return value;
}

std::string toJsonText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<std::string> exactJsonText(const Json& value) {
    try {
        return value.dump();
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

std::string toPrettyJsonText(const Json& value) {
    // nlohmann's object type is an ordered map keyed by std::string, so keys come out sorted.
    return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

std::optional<std::string> stringMember(const Json& object, std::string_view key) {
    if (!object.is_object())
        return std::nullopt;
    auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return std::nullopt;
    return it->get<std::string>();
}

std::optional<bool> boolMember(const Json& object, std::string_view key) {
    if (!object.is_object())
        return std::nullopt;
    auto it = object.find(key);
    if (it == object.end() || !it->is_boolean())
        return std::nullopt;
    return it->get<bool>();
}

std::optional<double> numberMember(const Json& object, std::string_view key) {
    if (!object.is_object())
        return std::nullopt;
    auto it = object.find(key);
    if (it == object.end() || !it->is_number())
        return std::nullopt;
    return it->get<double>();
}

bool hasMemberOfOtherType(const Json& object, std::string_view key, Json::value_t expected) {
    if (!object.is_object())
        return false;
    auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return false;
    if (expected == Json::value_t::number_float)
        return !it->is_number();
    return it->type() != expected;
}

} // namespace orvi
