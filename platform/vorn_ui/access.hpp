#pragma once
// Accessibility: the role codes of AccessNode and the JSON dump of a widget tree's accessibility nodes.
//
// The dump (accessibility_json) walks the tree through children() in child order. A widget that answers a node
// becomes an object; a widget without one is transparent (its children's nodes join its nearest ancestor's). The
// root always gives one object (role "window" when the root answers no node). Members, in this order, present
// only when they have a value:
//   "role" (name), "widget" (widget_name), "label", "value", "description", "id",
//   "states" (list of "focused", "selected", "current", "disabled", "checked", "unchecked", "expanded",
//   "collapsed"), "bounds" ({"x", "y", "width", "height"}, logical pixels), "actions" (list of action names),
//   "children" (list).

#include "vorn_ui/records.hpp"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace vorn_ui {

class Widget;

namespace access_role {
inline constexpr std::uint8_t none = 0;
inline constexpr std::uint8_t window = 1;
inline constexpr std::uint8_t application = 2;
inline constexpr std::uint8_t group = 3;
inline constexpr std::uint8_t label = 4;  // static text
inline constexpr std::uint8_t button = 5;
inline constexpr std::uint8_t toggle = 6;  // a switch
inline constexpr std::uint8_t slider = 7;
inline constexpr std::uint8_t combo_box = 8;  // a drop-down
inline constexpr std::uint8_t text_input = 9;
inline constexpr std::uint8_t password_input = 10;
inline constexpr std::uint8_t progress_bar = 11;
inline constexpr std::uint8_t image = 12;
inline constexpr std::uint8_t scroll_view = 13;
inline constexpr std::uint8_t navigation = 14;
inline constexpr std::uint8_t status = 15;  // a badge
inline constexpr std::uint8_t list = 16;
inline constexpr std::uint8_t list_item = 17;
inline constexpr std::uint8_t heading = 18;
inline constexpr std::uint8_t menu = 19;            // an open drop-down list
inline constexpr std::uint8_t navigation_row = 20;  // a sidebar row
inline constexpr std::uint8_t search_input = 21;
inline constexpr std::uint8_t region = 22;  // a card
inline constexpr std::uint8_t key_capture = 23;  // a shortcut recorder
inline constexpr std::uint8_t menu_item = 24;
}  // namespace access_role

// "button", "toggle", ...; "role-<code>" for a code without a name.
[[nodiscard]] std::string role_name(std::uint8_t role);
// "activate", "focus", ... for the kinds of Action.
[[nodiscard]] std::string_view action_name(Action::Kind kind);

// The JSON form of one node (without "widget" and "children").
[[nodiscard]] nlohmann::ordered_json access_node_json(const AccessNode& node);
// The accessibility tree of `root`, as described above.
[[nodiscard]] nlohmann::ordered_json accessibility_json(const Widget& root);

}  // namespace vorn_ui
