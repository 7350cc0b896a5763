#pragma once
// The application's state snapshot: a JSON report of what the window shows (search field, sidebar rows, selected
// section, narrow state) and of the document the toolkit passes in. It changes nothing.

#include "vorn_ui/widget.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace settings::app {

// Walks `widget` and its descendants: the search field (label "settings.search") gives its state
// {"rect", "focused", "caret_byte", "text"} (a later one replaces an earlier one), and every sidebar row appends its
// section's id, in tree order.
void read_search_field(const vorn_ui::Widget& widget, std::optional<nlohmann::ordered_json>& field,
                       std::vector<std::string>& section_ids);

// A rectangle as [x0, y0, x1, y1]; a coordinate that is not finite becomes null.
[[nodiscard]] nlohmann::ordered_json rect_json(const vorn_ui::Rect& rect);

}  // namespace settings::app
