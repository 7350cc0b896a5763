#include "vorn_ui/widgets/sparkline.hpp"

#include "vorn_ui/paint.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace vorn_ui::widget::chart {

Sparkline Sparkline::with_size(float width, float height) &&
{
    width_ = width;
    height_ = height;
    return std::move(*this);
}

Sparkline Sparkline::with_max(double max) &&
{
    max_ = max;
    return std::move(*this);
}

Sparkline Sparkline::with_min(double min) &&
{
    min_ = min;
    return std::move(*this);
}

Sparkline Sparkline::with_color(Color color) &&
{
    color_ = color;
    return std::move(*this);
}

void Sparkline::sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) {}

NodeId Sparkline::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    flex_layout::Style s;
    s.width = flex_layout::Dimension::points(style.scaled(width_));
    s.height = flex_layout::Dimension::points(style.scaled(height_));
    s.max_width = flex_layout::Dimension::percent(1.0f);
    s.flex_shrink = 1.0f;
    const NodeId node = tree.new_leaf(s);
    widgets.insert(node, *this);
    return node;
}

void Sparkline::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
}

std::vector<Point> Sparkline::points_in(const Rect& area) const
{
    std::vector<Point> points;
    std::vector<double> values;
    values.reserve(samples_.size());
    for (double v : samples_) {
        if (std::isfinite(v)) {
            values.push_back(v);
        }
    }
    if (values.empty()) {
        return points;
    }
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    const double top = max_.value_or(*highest);
    const double bottom = min_.value_or(max_ ? std::min(0.0, *lowest) : *lowest);
    const double range = top - bottom;
    points.reserve(values.size());
    const double step = values.size() > 1 ? area.width() / static_cast<double>(values.size() - 1) : 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double t = range > 0.0 ? std::clamp((values[i] - bottom) / range, 0.0, 1.0) : 0.5;
        const double x = values.size() > 1 ? area.x0 + step * static_cast<double>(i) : area.x0 + area.width() / 2.0;
        points.push_back({x, area.y1 - t * area.height()});
    }
    return points;
}

void Sparkline::draw(DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    if (cr == nullptr) {
        return;
    }
    const double inset = 1.5 * ctx.theme().ui_scale;
    const Rect area{rect_.x0 + inset, rect_.y0 + inset, rect_.x1 - inset, rect_.y1 - inset};
    const std::vector<Point> points = points_in(area);
    if (points.empty()) {
        paint::hline(cr, area.x0, area.x1, std::round((area.y0 + area.y1) / 2.0), ctx.theme().outline);
        return;
    }
    const Color color = color_.value_or(ctx.theme().accent);
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, points.front().x, area.y1);
    for (const Point& p : points) {
        cairo_line_to(cr, p.x, p.y);
    }
    cairo_line_to(cr, points.back().x, area.y1);
    cairo_close_path(cr);
    paint::set_color(cr, color.with_alpha(color.a * 0.12f));
    cairo_fill(cr);

    cairo_new_path(cr);
    cairo_move_to(cr, points.front().x, points.front().y);
    for (const Point& p : points) {
        cairo_line_to(cr, p.x, p.y);
    }
    if (points.size() == 1) {
        cairo_line_to(cr, area.x0, points.front().y);
        cairo_move_to(cr, points.front().x, points.front().y);
        cairo_line_to(cr, area.x1, points.front().y);
    }
    paint::set_color(cr, color);
    cairo_set_line_width(cr, 1.5 * ctx.theme().ui_scale);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void Sparkline::handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) {}

}  // namespace vorn_ui::widget::chart
