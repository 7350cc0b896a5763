#include "vorn_ui/widgets/slider.hpp"

#include "vorn_ui/actions/bound_action.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/paint.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <numbers>

namespace vorn_ui::widget::slider {

namespace {
constexpr float default_width = 220.0f;
constexpr float height = 24.0f;
constexpr double handle_radius = 9.0;
constexpr double track_thickness = 4.0;
}  // namespace

Slider::Slider(std::string control_id, std::string key) : control_id_(std::move(control_id))
{
    if (!key.empty()) {
        value_.bind_key(std::move(key));
    }
}

Slider Slider::from_state(LocalState<double> cell)
{
    Slider slider;
    slider.value_.bind_state(std::move(cell));
    return slider;
}

Slider Slider::with_id(std::string id) &&
{
    id_ = std::move(id);
    return std::move(*this);
}

Slider Slider::with_label(std::string label) &&
{
    label_ = std::move(label);
    return std::move(*this);
}

Slider Slider::with_range(double min, double max) &&
{
    if (std::isfinite(min) && std::isfinite(max) && min < max) {
        min_ = min;
        max_ = max;
    }
    return std::move(*this);
}

Slider Slider::with_step(double step) &&
{
    step_ = std::isfinite(step) && step > 0.0 ? step : 0.0;
    return std::move(*this);
}

Slider Slider::with_value(double value) &&
{
    set_value(value);
    return std::move(*this);
}

Slider Slider::with_width(float width) &&
{
    width_ = width;
    return std::move(*this);
}

Slider Slider::with_enabled(bool enabled) &&
{
    enabled_ = enabled;
    return std::move(*this);
}

Slider Slider::with_value_format(std::function<std::string(double)> format) &&
{
    format_ = std::move(format);
    return std::move(*this);
}

Slider Slider::on_action(vorn_actions::ActionBinding<double> binding) &&
{
    action_.emplace(std::move(binding));
    return std::move(*this);
}

Slider Slider::on_change(std::function<void(double)> callback) &&
{
    on_change_ = std::move(callback);
    return std::move(*this);
}

double Slider::step() const { return step_ > 0.0 ? step_ : (max_ - min_) / 100.0; }

double Slider::clamp(double value) const
{
    if (!std::isfinite(value)) {
        return min_;
    }
    return std::clamp(value, min_, max_);
}

void Slider::set_value(double value) { value_.set_quietly(clamp(value)); }

void Slider::emit()
{
    if (action_) {
        (void)action_->emit(value_.value());
    }
}

bool Slider::change_to(double value, bool emit_now)
{
    if (!is_enabled()) {
        return false;
    }
    value = clamp(value);
    if (!value_.set_by_user(value)) {
        return false;
    }
    interacting_ = true;
    if (emit_now) {
        emit();
    } else {
        drag_changed_ = true;
    }
    if (on_change_) {
        on_change_(value);
    }
    return true;
}

std::string Slider::value_description() const
{
    if (format_) {
        return format_(value_.value());
    }
    const double fraction = (value_.value() - min_) / (max_ - min_);
    return fmt::format("{}%", static_cast<int>(std::lround(fraction * 100.0)));
}

void Slider::sync(page_doc::Document& doc, SyncContext& ctx)
{
    if (value_.sync(doc)) {
        value_.set_quietly(clamp(value_.value()));
        ctx.changed = true;
    }
}

NodeId Slider::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    scale_ = style.ui_scale();
    flex_layout::Style s;
    s.flex_shrink = 1.0f;
    s.width = flex_layout::Dimension::points(style.scaled(width_ > 0.0f ? width_ : default_width));
    s.min_width = flex_layout::Dimension::points(style.scaled(80.0f));
    s.height = flex_layout::Dimension::points(style.scaled(height));
    const NodeId node = tree.new_leaf(s);
    widgets.insert(node, *this);
    return node;
}

void Slider::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
}

Rect Slider::track_rect() const
{
    const double inset = handle_radius * scale_;
    const double cy = (rect_.y0 + rect_.y1) / 2.0;
    const double half = track_thickness * scale_ / 2.0;
    return {rect_.x0 + inset, cy - half, std::max(rect_.x0 + inset, rect_.x1 - inset), cy + half};
}

Point Slider::handle_centre() const
{
    const Rect track = track_rect();
    const double fraction = (value_.value() - min_) / (max_ - min_);
    return {track.x0 + fraction * track.width(), (track.y0 + track.y1) / 2.0};
}

double Slider::value_at(double x) const
{
    const Rect track = track_rect();
    if (track.width() <= 0.0) {
        return value_.value();
    }
    const double fraction = std::clamp((x - track.x0) / track.width(), 0.0, 1.0);
    double value = min_ + fraction * (max_ - min_);
    if (step_ > 0.0) {
        value = min_ + std::round((value - min_) / step_) * step_;
    }
    return value;
}

void Slider::draw(DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    if (cr == nullptr || rect_.area() <= 0.0) {
        return;
    }
    const Theme& theme = ctx.theme();
    const bool enabled = is_enabled();
    const Rect track = track_rect();
    const Point handle = handle_centre();
    const double radius = track.height() / 2.0;
    paint::fill_rounded(cr, track, radius, theme.high_contrast ? theme.outline_strong : theme.surface_raised);
    if (theme.high_contrast) {
        paint::stroke_rounded(cr, track, radius, theme.text, 1.0);
    }
    const Color fill = enabled ? theme.accent : theme.text_disabled;
    paint::fill_rounded(cr, Rect{track.x0, track.y0, handle.x, track.y1}, radius, fill);

    const double knob = handle_radius * scale_ * (capturing_ ? 1.1 : 1.0);
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_arc(cr, handle.x, handle.y, knob, 0.0, 2.0 * std::numbers::pi);
    paint::set_color(cr, enabled ? (theme.is_dark ? theme.text : Color::rgb(0xFFFFFF)) : theme.surface_raised);
    cairo_fill_preserve(cr);
    paint::set_color(cr, theme.high_contrast ? theme.text : (enabled ? fill : theme.outline_strong));
    cairo_set_line_width(cr, theme.high_contrast ? 2.0 : 1.5);
    cairo_stroke(cr);
    if (hovered_ && enabled && !capturing_) {
        cairo_new_path(cr);
        cairo_arc(cr, handle.x, handle.y, knob + 4.0 * scale_, 0.0, 2.0 * std::numbers::pi);
        paint::set_color(cr, theme.accent.with_alpha(0.18f));
        cairo_fill(cr);
    }
    cairo_restore(cr);
    if (focused_) {
        const double ring = knob + 1.0;
        paint::focus_ring(cr, theme, Rect{handle.x - ring, handle.y - ring, handle.x + ring, handle.y + ring}, ring);
    }
}

void Slider::handle_event(const Event& event, DispatchContext& ctx)
{
    const std::optional<Point> pointer = ctx.pointer(event);
    if (event.get<PointerMove>() != nullptr) {
        if (capturing_ && pointer) {
            if (change_to(value_at(pointer->x), false)) {
                ctx.changed = true;
            }
            ctx.handled = true;
            return;
        }
        const bool inside = pointer && rect_.contains(*pointer);
        if (inside != hovered_) {
            hovered_ = inside;
            ctx.changed = true;
        }
        return;
    }
    if (event.get<PointerLeave>() != nullptr) {
        if (hovered_) {
            hovered_ = false;
            ctx.changed = true;
        }
        return;
    }
    if (const auto* button = event.get<PointerButton>()) {
        if (button->button != MouseButton::Left || !pointer) {
            return;
        }
        if (button->pressed) {
            if (rect_.contains(*pointer) && !ctx.handled && is_enabled()) {
                capturing_ = true;
                drag_changed_ = false;
                ctx.request = ctx.node;
                ctx.handled = true;
                ctx.changed = true;
                change_to(value_at(pointer->x), false);
            }
            return;
        }
        if (capturing_) {
            capturing_ = false;
            if (drag_changed_) {
                emit();  // one invocation for the whole drag
                drag_changed_ = false;
            }
            ctx.handled = true;
            ctx.changed = true;
        }
        return;
    }
    const auto* key = event.get<KeyDown>();
    if (key == nullptr || !focused_ || !is_enabled() || key->modifiers.control || key->modifiers.alt ||
        key->modifiers.super) {
        return;
    }
    const double current = value_.value();
    std::optional<double> next;
    switch (key->key) {
    case Key::Left:
    case Key::Down: next = current - step(); break;
    case Key::Right:
    case Key::Up: next = current + step(); break;
    case Key::PageDown: next = current - 10.0 * step(); break;
    case Key::PageUp: next = current + 10.0 * step(); break;
    case Key::Home: next = min_; break;
    case Key::End: next = max_; break;
    default: return;
    }
    change_to(*next);
    ctx.handled = true;
    ctx.changed = true;
}

std::optional<std::string_view> Slider::label() const
{
    if (id_) {
        return std::string_view(*id_);
    }
    return std::string_view("slider");
}

std::optional<AccessNode> Slider::accessibility() const
{
    AccessNode node(access_role::slider);
    if (label_) {
        node = std::move(node).with_label(*label_);
    }
    if (!control_id_.empty()) {
        node = std::move(node).with_id(control_id_);
    } else if (id_) {
        node = std::move(node).with_id(*id_);
    }
    node = std::move(node).with_value(value_description()).with_bounds(rect_);
    node.focused = focused_;
    node.disabled = !is_enabled();
    return std::move(node)
        .with_action(Action::Kind::Increment)
        .with_action(Action::Kind::Decrement)
        .with_action(Action::Kind::SetNumericValue)
        .with_action(Action::Kind::Focus);
}

bool Slider::perform_action(const Action& action, ActionCtx /*ctx*/)
{
    switch (action.kind) {
    case Action::Kind::Increment: return change_to(value_.value() + step()) || is_enabled();
    case Action::Kind::Decrement: return change_to(value_.value() - step()) || is_enabled();
    case Action::Kind::SetNumericValue:
        if (!std::isfinite(action.number)) {
            return false;
        }
        return change_to(action.number) || is_enabled();
    default: return false;
    }
}

void Slider::set_interaction_environment(InteractionEnv env)
{
    env_ = env;
    if ((env.flags & 1U) != 0) {
        interacting_ = false;
    }
}

std::optional<ControlInvocation> Slider::take_control_invocation() { return take_bound_invocation(action_); }

std::vector<ControlActionBinding> Slider::control_action_bindings() const
{
    return bound_action_bindings(action_);
}

void Slider::refresh_control_action_availability(const ActionAvailability& availability)
{
    (void)refresh_bound_availability(action_, availability);
}

}  // namespace vorn_ui::widget::slider
