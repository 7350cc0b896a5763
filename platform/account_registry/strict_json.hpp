#pragma once
// Reading the registry's stored JSON strictly.
//
// nlohmann's tree keeps one member per name and cannot tell that a name was repeated, yet a record that names one
// of its fields twice must be refused ("duplicate field `id`"). parse_strict() builds the tree itself and notes the
// repeated names of every object beside it; in the tree the last value of a repeated name counts, at the place of
// its first occurrence (as for any JSON map). While a DecodeScope is alive on a thread, the record readers of this
// library (and of the application's account records) consult those notes through refuse_repeated_fields().

#include "json_text/json_text.hpp"

#include <nlohmann/json.hpp>

#include <expected>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace account_registry {

using Json = nlohmann::ordered_json;

struct StrictJson {
    Json root;
    // Names that occurred more than once in one object, by the object's storage (which stays put when the tree
    // is moved, but not when it is copied: read the tree where parse_strict() left it).
    std::unordered_map<const Json::object_t*, std::vector<std::string>> repeated;
};

// One JSON value with nothing but white space around it, nested at most json_text::max_depth levels.
[[nodiscard]] std::expected<StrictJson, std::string> parse_strict(std::string_view text);

// Makes the repeated names of `document` visible to refuse_repeated_fields() on this thread while it lives.
class DecodeScope {
public:
    explicit DecodeScope(const StrictJson& document);
    DecodeScope(const DecodeScope&) = delete;
    DecodeScope& operator=(const DecodeScope&) = delete;
    ~DecodeScope();

private:
    const StrictJson* previous_;
};

// "duplicate field `x`" when the object `value` (read from the document of the current DecodeScope) named one of
// `fields` more than once. Values built in memory never have repeated names.
[[nodiscard]] json_text::Status refuse_repeated_fields(const Json& value, std::initializer_list<std::string_view> fields);

// Parses `text` and reads it as a T with read_value(), refusing repeated field names.
template <class T>
[[nodiscard]] std::expected<T, std::string> decode_strict(std::string_view text)
{
    auto document = parse_strict(text);
    if (!document) {
        return std::unexpected(std::move(document.error()));
    }
    const DecodeScope scope(*document);
    T value{};
    if (auto ok = read_value(document->root, value); !ok) {
        return std::unexpected(std::move(ok.error()));
    }
    return value;
}

}  // namespace account_registry
