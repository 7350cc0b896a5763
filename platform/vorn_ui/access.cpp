#include "vorn_ui/access.hpp"

#include "vorn_ui/widget.hpp"

#include <nlohmann/json.hpp>

#include <array>

namespace vorn_ui {

namespace {

constexpr std::array<std::string_view, 25> role_names{
    "none",        "window",     "application", "group",       "label",     "button",         "toggle",
    "slider",      "combo_box",  "text_input",  "password_input", "progress_bar", "image",     "scroll_view",
    "navigation",  "status",     "list",        "list_item",   "heading",   "menu",           "navigation_row",
    "search_input", "region",    "key_capture", "menu_item"};

void append_nodes(const Widget& widget, nlohmann::ordered_json& siblings)
{
    std::optional<AccessNode> node = widget.accessibility();
    if (!node) {
        for (const Widget* child : widget.children()) {
            append_nodes(*child, siblings);
        }
        return;
    }
    nlohmann::ordered_json object = access_node_json(*node);
    nlohmann::ordered_json children = nlohmann::ordered_json::array();
    for (const Widget* child : widget.children()) {
        append_nodes(*child, children);
    }
    // "widget" after "role", "children" last.
    nlohmann::ordered_json ordered = nlohmann::ordered_json::object();
    ordered["role"] = object["role"];
    ordered["widget"] = std::string(widget.widget_name());
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() != "role") {
            ordered[it.key()] = std::move(it.value());
        }
    }
    if (!children.empty()) {
        ordered["children"] = std::move(children);
    }
    siblings.push_back(std::move(ordered));
}

}  // namespace

std::string role_name(std::uint8_t role)
{
    if (role < role_names.size()) {
        return std::string(role_names[role]);
    }
    return "role-" + std::to_string(role);
}

std::string_view action_name(Action::Kind kind)
{
    switch (kind) {
    case Action::Kind::Activate: return "activate";
    case Action::Kind::Focus: return "focus";
    case Action::Kind::Blur: return "blur";
    case Action::Kind::Increment: return "increment";
    case Action::Kind::Decrement: return "decrement";
    case Action::Kind::ScrollIntoView: return "scroll_into_view";
    case Action::Kind::ShowContextMenu: return "show_context_menu";
    case Action::Kind::SetValue: return "set_value";
    case Action::Kind::SetNumericValue: return "set_numeric_value";
    case Action::Kind::Expand: return "expand";
    case Action::Kind::Collapse: return "collapse";
    case Action::Kind::Dismiss: return "dismiss";
    }
    return "unknown";
}

nlohmann::ordered_json access_node_json(const AccessNode& node)
{
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    out["role"] = role_name(node.role);
    if (node.label) {
        out["label"] = *node.label;
    }
    if (node.value) {
        out["value"] = *node.value;
    }
    if (node.description) {
        out["description"] = *node.description;
    }
    if (node.id) {
        out["id"] = *node.id;
    }
    nlohmann::ordered_json states = nlohmann::ordered_json::array();
    const auto state = [&states](bool on, std::string_view name) {
        if (on) {
            states.push_back(name);
        }
    };
    state(node.focused, "focused");
    state(node.selected, "selected");
    state(node.current, "current");
    state(node.disabled, "disabled");
    if (node.checked) {
        states.push_back(*node.checked ? "checked" : "unchecked");
    }
    if (node.expanded) {
        states.push_back(*node.expanded ? "expanded" : "collapsed");
    }
    if (!states.empty()) {
        out["states"] = std::move(states);
    }
    if (!node.bounds.is_zero()) {
        out["bounds"] = {{"x", node.bounds.x0},
                         {"y", node.bounds.y0},
                         {"width", node.bounds.width()},
                         {"height", node.bounds.height()}};
    }
    if (!node.actions.empty()) {
        nlohmann::ordered_json actions = nlohmann::ordered_json::array();
        for (Action::Kind kind : node.actions) {
            actions.push_back(action_name(kind));
        }
        out["actions"] = std::move(actions);
    }
    return out;
}

nlohmann::ordered_json accessibility_json(const Widget& root)
{
    nlohmann::ordered_json roots = nlohmann::ordered_json::array();
    append_nodes(root, roots);
    if (roots.size() == 1 && root.accessibility()) {
        return std::move(roots[0]);
    }
    nlohmann::ordered_json window = nlohmann::ordered_json::object();
    window["role"] = "window";
    window["children"] = std::move(roots);
    return window;
}

}  // namespace vorn_ui
