#pragma once
// Sparkline: a small line chart of samples, oldest first, with a faint fill below the line.
//
//   vorn_ui::Sparkline(samples).with_size(320.0f, 56.0f).with_max(100.0).with_color(vorn_ui::Theme::dark().accent)

#include "vorn_ui/widget.hpp"

#include <memory>
#include <optional>
#include <vector>

namespace vorn_ui::widget::chart {

class Sparkline final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::chart::Sparkline", "Sparkline")

    explicit Sparkline(std::vector<double> samples = {}) : samples_(std::move(samples)) {}

    [[nodiscard]] Sparkline with_size(float width, float height) &&;
    // The values at the top and the bottom of the chart (default: the samples' own range).
    [[nodiscard]] Sparkline with_max(double max) &&;
    [[nodiscard]] Sparkline with_min(double min) &&;
    // The line colour (default: the theme's accent).
    [[nodiscard]] Sparkline with_color(Color color) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Sparkline>(std::move(*this)); }

    void set_samples(std::vector<double> samples) { samples_ = std::move(samples); }
    [[nodiscard]] const std::vector<double>& samples() const { return samples_; }

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] bool is_layout_dirty() const override { return rect_.is_zero(); }

    // The points of the line inside `area` (exposed for tests): x evenly spaced, y by value.
    [[nodiscard]] std::vector<Point> points_in(const Rect& area) const;

private:
    std::vector<double> samples_;
    float width_ = 320.0f;
    float height_ = 56.0f;
    std::optional<double> max_;
    std::optional<double> min_;
    std::optional<Color> color_;
    Rect rect_{};
};

}  // namespace vorn_ui::widget::chart

namespace vorn_ui {
using widget::chart::Sparkline;
}
