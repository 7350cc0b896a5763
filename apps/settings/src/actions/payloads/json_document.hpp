#pragma once
// The JSON tree a payload is read from (internal to the codec).
//
// nlohmann's own tree keeps only one member per key and cannot say that a key was repeated, so payloads are
// parsed through json_text::parse_tree: repeated keys are recorded beside the tree (the repeated members are left out of
// it), "-0" stays a float as in the written form's grammar, large objects are built in linear time, and containers
// nested deeper than any payload type reaches are kept empty, so that deep skipped members cost no memory.

#include <cstddef>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace settings::actions::detail {

using Json = nlohmann::ordered_json;

// Containers deeper than this are kept empty. Payload types look at most four containers deep.
inline constexpr std::size_t max_built_depth = 8;

struct JsonDocument {
    Json root;
    // Keys that occurred more than once in one object, in order of their repetition, by the object's storage
    // (which stays put when the tree is moved).
    std::unordered_map<const Json::object_t*, std::vector<std::string>> repeated_keys;

    [[nodiscard]] std::span<const std::string> repeated_keys_of(const Json::object_t& object) const;
};

// Parses one JSON value with nothing but white space around it. Errors are nlohmann's messages with line and
// column, without the exception prefix.
std::expected<JsonDocument, std::string> parse_json_document(std::string_view text);

// A text for an error message: JSON-quoted, invalid UTF-8 replaced, cut after max_bytes.
std::string quoted_for_message(std::string_view text, std::size_t max_bytes = 48);

}  // namespace settings::actions::detail
