#pragma once
// Helpers of the preference pages' headless tests: the accessibility tree as a flat list of lines, and the
// keyboard focus by control id.

#include "panes/preference_pane/pane_base.hpp"
#include "vorn_ui/headless.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
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

// Frames of `w` until `done` holds or `limit` passes (pages read the machine and answer on their workers); whether it
// came to hold.
inline bool frames_until(vorn_ui::HeadlessWindow& w, const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        w.frame();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// The accessibility node whose control id is `id`, searched depth first from `node`.
inline std::optional<nlohmann::ordered_json> node_with_id(const nlohmann::ordered_json& node, std::string_view id)
{
    if (node.value("id", std::string()) == id) {
        return node;
    }
    if (node.contains("children")) {
        for (const auto& child : node["children"]) {
            if (auto found = node_with_id(child, id)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

// The control id of the focused widget ("" when nothing, or nothing with an id, has the focus).
inline std::string focused_id(const vorn_ui::HeadlessWindow& w)
{
    const vorn_ui::Widget* focused = w.focused();
    if (focused == nullptr) {
        return {};
    }
    return std::string(preference_pane::control_id(*focused).value_or(""));
}

// Gives the focus to the control with this id, as Tab would; false when the window's focus order has none.
inline bool focus_control(vorn_ui::HeadlessWindow& w, std::string_view id)
{
    for (vorn_ui::Widget* widget : w.driver().focus_order()) {
        if (preference_pane::control_id(*widget) == id) {
            w.driver().focus(widget);
            w.frame();
            return true;
        }
    }
    return false;
}

// The control id that follows `id` in the window's focus order ("" when none does).
inline std::string next_in_focus_order(vorn_ui::HeadlessWindow& w, std::string_view id)
{
    const auto order = w.driver().focus_order();
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        if (preference_pane::control_id(*order[i]) == id) {
            return std::string(preference_pane::control_id(*order[i + 1]).value_or(""));
        }
    }
    return {};
}

}  // namespace settings::panes::testing
