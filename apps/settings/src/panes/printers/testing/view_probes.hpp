#pragma once
// Probes of the Printers page's headless tests: controls found by their id in the accessibility tree, where they
// are, and whether they have the focus.

#include "vorn_ui/geometry.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::printers::testing {

// The first node of the accessibility dump with this id.
inline std::optional<nlohmann::ordered_json> access_node(const nlohmann::ordered_json& node, std::string_view id)
{
    if (node.value("id", std::string()) == id) {
        return node;
    }
    for (const auto& child : node.value("children", nlohmann::ordered_json::array())) {
        if (auto found = access_node(child, id)) {
            return found;
        }
    }
    return std::nullopt;
}

// The centre of a node's bounds.
inline std::optional<vorn_ui::Point> node_centre(const nlohmann::ordered_json& node)
{
    if (!node.contains("bounds")) {
        return std::nullopt;
    }
    const auto& b = node["bounds"];
    return vorn_ui::Point{b["x"].get<double>() + b["width"].get<double>() / 2.0,
                          b["y"].get<double>() + b["height"].get<double>() / 2.0};
}

inline bool has_state(const nlohmann::ordered_json& node, std::string_view state)
{
    for (const auto& s : node.value("states", nlohmann::ordered_json::array())) {
        if (s.get<std::string>() == state) {
            return true;
        }
    }
    return false;
}

}  // namespace settings::panes::printers::testing
