#pragma once
// What the toolkit passes to `sync` and `build_layout`, and the node-to-widget map of a layout pass.

#include "flex_layout/flex_layout.hpp"
#include "vorn_ui/geometry.hpp"
#include "vorn_ui/theme.hpp"

#include <cstddef>
#include <optional>
#include <unordered_map>

namespace vorn_ui {

class Widget;
class TextRenderer;

// The second argument of `sync`.
struct SyncContext {
    Instant now{};
    // Set by a widget whose sync changed what it shows (the loop lays out and draws again).
    bool changed = false;
};

// The style context of `build_layout`: the theme (with its ui and text scales) and what is known of the window.
struct StyleContext {
    const Theme& theme;
    std::optional<double> window_width;   // logical pixels
    std::optional<double> window_height;
    double scale_factor = 1.0;             // physical pixels per logical pixel

    [[nodiscard]] float ui_scale() const { return theme.ui_scale; }
    [[nodiscard]] float text_scale() const { return theme.text_scale; }
    // A style size in logical pixels: `points` × the ui scale.
    [[nodiscard]] float scaled(float points) const { return points * theme.ui_scale; }
};

// Which widget a node of the layout tree belongs to. Filled by `build_layout`; the widgets are not owned and must
// outlive the map (it is rebuilt with the tree on every layout pass).
class NodeWidgetMap {
public:
    void insert(NodeId node, Widget& widget) { widgets_[node.index] = &widget; }
    [[nodiscard]] Widget* find(NodeId node) const
    {
        const auto it = widgets_.find(node.index);
        return it == widgets_.end() ? nullptr : it->second;
    }
    [[nodiscard]] std::size_t size() const { return widgets_.size(); }
    // Calls visit(node, widget) for every entry, in no particular order.
    template <class Visit>
    void for_each(Visit&& visit) const
    {
        for (const auto& [index, widget] : widgets_) {
            visit(NodeId{index}, *widget);
        }
    }
    void clear() { widgets_.clear(); }

    // The measure function for flex_layout::Tree::compute_layout: asks the node's widget for its `measure`, (0, 0)
    // for a node without a widget. The map and the renderer must outlive the returned function's use.
    [[nodiscard]] flex_layout::MeasureFn measure_fn(TextRenderer& text) const;

private:
    std::unordered_map<std::uint32_t, Widget*> widgets_;
};

}  // namespace vorn_ui
