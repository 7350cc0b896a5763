#pragma once
// Key-action ids: "vorn.key-action:" + a key name + ":" + one or more unsigned decimal numbers separated by "/".
// The name ends at the last ":" (it may be empty and may itself hold ":"); each number is an optional "+" and one
// or more digits 0-9, at most 18446744073709551615.
//
//   "vorn.key-action:list:0/3"  -> name "list", path {0, 3}
//   "vorn.key-action:a:b:2"     -> name "a:b",  path {2}

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorn_ui {

inline constexpr std::string_view key_action_prefix = "vorn.key-action:";

struct KeyActionId {
    std::string_view name;  // a view into the parsed id
    std::vector<std::uint64_t> path;
    friend bool operator==(const KeyActionId&, const KeyActionId&) = default;
};

// The parts of a valid id, none for an invalid one.
[[nodiscard]] std::optional<KeyActionId> parse_key_action_id(std::string_view id);

// The id of a key name and path (the path must not be empty).
[[nodiscard]] std::string make_key_action_id(std::string_view name, std::span<const std::uint64_t> path);

}  // namespace vorn_ui
