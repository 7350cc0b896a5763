#pragma once
// Geometry of the widget tree: points and rectangles in window coordinates (logical pixels), sizes, instants.

#include "flex_layout/flex_layout.hpp"

#include <algorithm>
#include <chrono>

namespace vorn_ui {

// A widget's node in the layout tree.
using NodeId = flex_layout::NodeId;
// Width then height, 32-bit floats: what `measure` answers.
using Size = flex_layout::Size;
// A monotonic instant; deadlines are std::optional<Instant> (none is "no deadline", not an instant).
using Instant = std::chrono::steady_clock::time_point;

struct Point {
    double x = 0.0;
    double y = 0.0;
    friend constexpr bool operator==(const Point&, const Point&) = default;
};

// Top-left corner (x0, y0) and bottom-right corner (x1, y1). All zero until the widget is laid out.
struct Rect {
    double x0 = 0.0;
    double y0 = 0.0;
    double x1 = 0.0;
    double y1 = 0.0;

    static constexpr Rect from_origin_size(double x, double y, double width, double height)
    {
        return {x, y, x + width, y + height};
    }

    [[nodiscard]] constexpr double width() const { return x1 - x0; }
    [[nodiscard]] constexpr double height() const { return y1 - y0; }
    [[nodiscard]] constexpr bool is_zero() const { return x0 == 0.0 && y0 == 0.0 && x1 == 0.0 && y1 == 0.0; }

    // Half-open: the left and top edges are inside, the right and bottom edges outside.
    [[nodiscard]] constexpr bool contains(Point p) const { return x0 <= p.x && p.x < x1 && y0 <= p.y && p.y < y1; }

    // The overlap of two rectangles; an empty overlap has zero width or height (never negative).
    [[nodiscard]] constexpr Rect intersect(const Rect& other) const
    {
        const double left = std::max(x0, other.x0);
        const double top = std::max(y0, other.y0);
        return {left, top, std::max(std::min(x1, other.x1), left), std::max(std::min(y1, other.y1), top)};
    }
    [[nodiscard]] constexpr double area() const { return width() * height(); }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// The rectangle of a laid-out node: the parent's origin plus the node's computed offset, and its computed size.
[[nodiscard]] inline Rect rect_from_layout(const flex_layout::Tree& tree, NodeId node, double parent_x,
                                           double parent_y)
{
    const flex_layout::Layout& layout = tree.layout(node);
    return Rect::from_origin_size(parent_x + layout.x, parent_y + layout.y, layout.width, layout.height);
}

}  // namespace vorn_ui
