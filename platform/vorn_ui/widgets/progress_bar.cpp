#include "vorn_ui/widgets/progress_bar.hpp"

#include "vorn_ui/access.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace vorn_ui::widget::progress_bar {

namespace {

constexpr float track_height = 6.0f;
constexpr float label_size = 13.0f;
constexpr float label_gap = 6.0f;
constexpr double sweep_seconds = 1.6;

double clamp_fraction(double fraction) { return std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0; }

std::string percent_text(double fraction) { return fmt::format("{}%", static_cast<int>(std::lround(fraction * 100.0))); }

}  // namespace

ProgressBar::ProgressBar(double fraction) : fraction_(clamp_fraction(fraction)) {}

ProgressBar ProgressBar::indeterminate()
{
    ProgressBar bar;
    bar.set_indeterminate();
    return bar;
}

ProgressBar ProgressBar::with_label(std::string_view label) &&
{
    label_ = std::string(label);
    repaint_pending_ = true;
    return std::move(*this);
}

ProgressBar ProgressBar::with_label_owned(std::string label) &&
{
    label_ = std::move(label);
    repaint_pending_ = true;
    return std::move(*this);
}

ProgressBar ProgressBar::with_width(float width) &&
{
    width_ = width;
    return std::move(*this);
}

void ProgressBar::set_fraction(double fraction)
{
    const double clamped = clamp_fraction(fraction);
    if (fraction_ != clamped) {
        fraction_ = clamped;
        animating_ = false;
        repaint_pending_ = true;
    }
}

void ProgressBar::set_indeterminate()
{
    if (fraction_ || !animating_) {
        fraction_.reset();
        animating_ = true;
        repaint_pending_ = true;
    }
}

void ProgressBar::sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) {}

NodeId ProgressBar::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    animation_suppressed_ = style.theme.reduced_motion;
    flex_layout::Style s;
    if (width_) {
        s.width = flex_layout::Dimension::points(style.scaled(*width_));
    }
    s.min_width = flex_layout::Dimension::points(style.scaled(48.0f));
    const NodeId node = tree.new_measured_leaf(s);
    widgets.insert(node, *this);
    return node;
}

Size ProgressBar::measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                          TextRenderer& text) const
{
    const float scale = text.ui_scale();
    float height = track_height * scale;
    if (!label_.empty()) {
        const float size = text.renderer_input_style(label_size).size;
        height += text.measure(label_, size).height + label_gap * scale;
    }
    // A bar takes the width it is offered; alone it asks for a comfortable 240.
    float width = 240.0f * scale;
    if (available.width.is_definite()) {
        width = available.width.value;
    }
    return {known.width.value_or(width), known.height.value_or(std::ceil(height))};
}

void ProgressBar::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
}

void ProgressBar::draw(DrawContext& ctx) const
{
    if (ctx.cairo() == nullptr) {
        return;
    }
    const Theme& theme = ctx.theme();
    const double scale = theme.ui_scale;
    const double track_h = track_height * scale;
    if (TextRenderer* text = ctx.text(); text != nullptr && !label_.empty()) {
        const float size = text->renderer_input_style(label_size).size;
        std::string percent = fraction_ ? percent_text(*fraction_) : std::string();
        const float percent_width = percent.empty() ? 0.0f : text->measure(percent, size).width;
        const double label_width = std::max(rect_.width() - percent_width - 8.0 * scale, 0.0);
        TextSpec spec{.size = size, .wrap_width = static_cast<float>(label_width), .ellipsize = true};
        text->draw(ctx.cairo(), label_, spec, {rect_.x0, rect_.y0}, theme.text);
        if (!percent.empty()) {
            text->draw_text(ctx.cairo(), percent, theme.text_secondary, {rect_.x1 - percent_width, rect_.y0},
                            TextStyle::Regular, size);
        }
    }
    const Rect track{rect_.x0, rect_.y1 - track_h, rect_.x1, rect_.y1};
    const double radius = track_h / 2.0;
    paint::fill_rounded(ctx.cairo(), track, radius, theme.surface_raised.mix(theme.text, theme.is_dark ? 0.08f : 0.06f));
    if (theme.high_contrast) {
        paint::stroke_rounded(ctx.cairo(), track, radius, theme.outline, 1.0);
    }
    if (fraction_) {
        if (*fraction_ > 0.0) {
            const double width = std::max(track.width() * *fraction_, track_h);
            paint::fill_rounded(ctx.cairo(), Rect::from_origin_size(track.x0, track.y0, width, track_h), radius,
                                theme.accent);
        }
        return;
    }
    // Indeterminate: a segment a third of the track long, sweeping from left to right (centred when still).
    const double segment = track.width() / 3.0;
    double start = track.x0 + (track.width() - segment) / 2.0;
    if (!animation_suppressed_) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch_).count();
        const double phase = std::fmod(elapsed, sweep_seconds) / sweep_seconds;
        start = track.x0 - segment + phase * (track.width() + segment);
    }
    const DrawContext::ClipGuard clip = ctx.clip_to(track);
    paint::fill_rounded(ctx.cairo(), Rect::from_origin_size(start, track.y0, segment, track_h), radius, theme.accent);
}

void ProgressBar::handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) {}

std::optional<AccessNode> ProgressBar::accessibility() const
{
    AccessNode node = AccessNode(access_role::progress_bar)
                          .with_label(label_.empty() ? std::string_view("Progress") : std::string_view(label_))
                          .with_bounds(rect_);
    if (fraction_) {
        return std::move(node).with_value(percent_text(*fraction_));
    }
    return std::move(node).with_value("busy");
}

}  // namespace vorn_ui::widget::progress_bar
