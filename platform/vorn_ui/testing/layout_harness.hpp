#pragma once
// Lays a widget tree out the way a window does (build_layout, compute_layout with the widgets' measure, apply_layout)
// without drawing: for layout tests of widgets.

#include "vorn_ui/text.hpp"
#include "vorn_ui/widget.hpp"

#include <ostream>

namespace vorn_ui {
// How test failures print rectangles.
inline void PrintTo(const Rect& r, std::ostream* os)
{
    *os << "(" << r.x0 << ", " << r.y0 << ", " << r.x1 << ", " << r.y1 << ")";
}
}  // namespace vorn_ui

namespace vorn_ui::testing {

struct LayoutHarness {
    Theme theme = Theme::dark();
    TextRenderer text;
    flex_layout::Tree tree;
    NodeWidgetMap widgets;

    // Lays `root` out in a window of width × height (logical pixels); answers the root's node.
    NodeId lay_out(Widget& root, float width, float height)
    {
        text.set_scales(theme.ui_scale, theme.text_scale);
        tree.clear();
        widgets.clear();
        const StyleContext style{theme, width, height, 1.0};
        const NodeId node = root.build_layout(tree, style, widgets);
        tree.compute_layout(node,
                            {flex_layout::AvailableSpace::definite(width), flex_layout::AvailableSpace::definite(height)},
                            widgets.measure_fn(text));
        root.apply_layout(tree, node, 0.0, 0.0);
        return node;
    }
};

}  // namespace vorn_ui::testing
