#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tamblor::test {

// Just enough JSON to read the command line's events back: a test that compares strings would
// pass output that no JSON reader accepts.
struct JsonValue {
    using Object = std::map<std::string, JsonValue>;
    using Array = std::vector<JsonValue>;
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<Array>,
                 std::shared_ptr<Object>>
        value;

    bool IsNull() const { return std::holds_alternative<std::nullptr_t>(value); }
    const std::string* String() const { return std::get_if<std::string>(&value); }
    const double* Number() const { return std::get_if<double>(&value); }
    const bool* Bool() const { return std::get_if<bool>(&value); }
    const Object* AsObject() const {
        const auto* o = std::get_if<std::shared_ptr<Object>>(&value);
        return o != nullptr ? o->get() : nullptr;
    }
    // The member `name` of an object, or null.
    const JsonValue* Member(const std::string& name) const;
    // The member's text, or "" when it is missing or not a string.
    std::string Text(const std::string& name) const;
};

// The whole text as one JSON value; empty when it is not exactly one.
std::optional<JsonValue> ParseJson(const std::string& text);

}  // namespace tamblor::test
