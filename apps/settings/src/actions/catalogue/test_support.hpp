#pragma once
// Shared by the catalogue's tests and benchmark: a text dump of a resource tree and example arguments of an action.

#include "vorn_actions/resource.hpp"

#include <nlohmann/json.hpp>

#include <string>

namespace settings::actions::catalogue::testing {

// One line per resource, action and parameter, indented by depth: ids, kinds, titles, classes, flags, tags,
// parameter types, choices and schemas, and what invoking the action with no arguments gives.
std::string dump_tree(const vorn_actions::Resource& root);

// Arguments that exercise every parameter of the action: true for switches, 0.5 for numbers, the first choice (or
// "example") for texts.
nlohmann::ordered_json example_arguments(const vorn_actions::ActionSpec& spec);

}  // namespace settings::actions::catalogue::testing
