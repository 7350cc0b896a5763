#pragma once
// Helpers of the preference pages' headless tests: the accessibility tree as a flat list of lines.

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace settings::panes::testing {

// One line per node of the dump: "<role> <label>" with " = <value>" and " [<state>,...]" when present, in tree
// order; roles without a label or value (groups, the window) are left out.
inline void flatten_access(const nlohmann::ordered_json& node, std::vector<std::string>& out)
{
    std::string line;
    if (node.contains("label") || node.contains("value")) {
        line = node.value("role", std::string("?")) + " " + node.value("label", std::string());
        if (node.contains("value")) {
            line += " = " + node["value"].get<std::string>();
        }
        if (node.contains("states")) {
            std::string states;
            for (const auto& state : node["states"]) {
                states += (states.empty() ? "" : ",") + state.get<std::string>();
            }
            line += " [" + states + "]";
        }
        out.push_back(std::move(line));
    }
    if (node.contains("children")) {
        for (const auto& child : node["children"]) {
            flatten_access(child, out);
        }
    }
}

inline std::vector<std::string> access_lines(const nlohmann::ordered_json& root)
{
    std::vector<std::string> out;
    flatten_access(root, out);
    return out;
}

}  // namespace settings::panes::testing
