#include "vorn_ui/widgets/toggle.hpp"

#include "vorn_ui/actions/bound_action.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/paint.hpp"

#include <cairo.h>

#include <numbers>

namespace vorn_ui::widget::toggle {

namespace {
constexpr float track_width = 40.0f;
constexpr float track_height = 22.0f;
}  // namespace

Toggle::Toggle(std::string control_id, std::string key) : control_id_(std::move(control_id))
{
    if (!key.empty()) {
        value_.bind_key(std::move(key));
    }
}

Toggle Toggle::from_state(LocalState<bool> cell)
{
    Toggle toggle;
    toggle.value_.bind_state(std::move(cell));
    return toggle;
}

Toggle Toggle::with_id(std::string id) &&
{
    id_ = std::move(id);
    return std::move(*this);
}

Toggle Toggle::with_label(std::string label) &&
{
    label_ = std::move(label);
    return std::move(*this);
}

Toggle Toggle::with_value(bool on) &&
{
    value_.set_quietly(on);
    return std::move(*this);
}

Toggle Toggle::with_enabled(bool enabled) &&
{
    enabled_ = enabled;
    return std::move(*this);
}

Toggle Toggle::on_action(vorn_actions::ActionBinding<bool> binding) &&
{
    action_.emplace(std::move(binding));
    return std::move(*this);
}

Toggle Toggle::on_change(std::function<void(bool)> callback) &&
{
    on_change_ = std::move(callback);
    return std::move(*this);
}

void Toggle::set_value(bool on) { value_.set_quietly(on); }

void Toggle::set_enabled(bool enabled) { enabled_ = enabled; }

bool Toggle::flip()
{
    if (!is_enabled()) {
        return false;
    }
    const bool next = !value_.value();
    value_.set_by_user(next);
    interacting_ = true;
    if (action_) {
        (void)action_->emit(next);
    }
    if (on_change_) {
        on_change_(next);
    }
    return true;
}

void Toggle::sync(page_doc::Document& doc, SyncContext& ctx)
{
    if (value_.sync(doc)) {
        ctx.changed = true;
    }
}

NodeId Toggle::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    flex_layout::Style s;
    s.flex_shrink = 0.0f;
    s.width = flex_layout::Dimension::points(style.scaled(track_width));
    s.height = flex_layout::Dimension::points(style.scaled(track_height));
    const NodeId node = tree.new_leaf(s);
    widgets.insert(node, *this);
    return node;
}

void Toggle::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
}

Rect Toggle::track_rect() const
{
    const double height = std::min(rect_.height(), rect_.width() * track_height / track_width);
    const double width = height * track_width / track_height;
    const double x = rect_.x0 + (rect_.width() - width) / 2.0;
    const double y = rect_.y0 + (rect_.height() - height) / 2.0;
    return Rect::from_origin_size(x, y, width, height);
}

void Toggle::draw(DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    if (cr == nullptr || rect_.area() <= 0.0) {
        return;
    }
    const Theme& theme = ctx.theme();
    const bool on = value_.value();
    const bool enabled = is_enabled();
    const Rect track = track_rect();
    const double radius = track.height() / 2.0;
    Color fill = on ? theme.accent : theme.surface_raised;
    Color knob = on ? theme.on_accent : theme.text_secondary;
    if (!enabled) {
        fill = on ? theme.accent.with_alpha(0.35f) : theme.surface_raised.with_alpha(0.6f);
        knob = theme.text_disabled;
    }
    paint::fill_rounded(cr, track, radius, fill);
    if (!on || theme.high_contrast) {
        paint::stroke_rounded(cr, track, radius, theme.high_contrast ? theme.text : theme.outline_strong,
                              theme.high_contrast ? 1.5 : 1.0);
    }
    if (enabled && (hovered_ || pressed_)) {
        paint::fill_rounded(cr, track, radius, pressed_ ? theme.pressed : theme.hover);
    }
    const double inset = std::max(2.0, track.height() * 0.14);
    const double knob_radius = radius - inset;
    const double cx = on ? track.x1 - inset - knob_radius : track.x0 + inset + knob_radius;
    const double cy = (track.y0 + track.y1) / 2.0;
    cairo_save(cr);
    paint::set_color(cr, knob);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, knob_radius, 0.0, 2.0 * std::numbers::pi);
    cairo_fill(cr);
    cairo_restore(cr);
    if (focused_) {
        paint::focus_ring(cr, theme, track, radius);
    }
}

void Toggle::handle_event(const Event& event, DispatchContext& ctx)
{
    const std::optional<Point> pointer = ctx.pointer(event);
    if (event.get<PointerMove>() != nullptr || event.get<PointerLeave>() != nullptr) {
        const bool inside = pointer && rect_.contains(*pointer);
        if (inside != hovered_) {
            hovered_ = inside;
            ctx.changed = true;
        }
        return;
    }
    const auto* button = event.get<PointerButton>();
    if (button == nullptr || button->button != MouseButton::Left || !pointer) {
        return;
    }
    const bool inside = rect_.contains(*pointer);
    if (button->pressed) {
        if (inside && !ctx.handled && is_enabled()) {
            pressed_ = true;
            ctx.request = ctx.node;
            ctx.handled = true;
            ctx.changed = true;
        }
        return;
    }
    if (pressed_) {
        pressed_ = false;
        ctx.handled = true;
        ctx.changed = true;
        if (inside) {
            flip();
        }
    }
}

std::optional<std::string_view> Toggle::label() const
{
    if (id_) {
        return std::string_view(*id_);
    }
    return std::string_view("toggle");
}

std::optional<AccessNode> Toggle::accessibility() const
{
    AccessNode node(access_role::toggle);
    if (label_) {
        node = std::move(node).with_label(*label_);
    }
    if (!control_id_.empty()) {
        node = std::move(node).with_id(control_id_);
    } else if (id_) {
        node = std::move(node).with_id(*id_);
    }
    node = std::move(node).with_value(value_.value() ? "on" : "off").with_bounds(rect_);
    node.checked = value_.value();
    node.focused = focused_;
    node.disabled = !is_enabled();
    return std::move(node).with_action(Action::Kind::Activate).with_action(Action::Kind::Focus);
}

bool Toggle::perform_action(const Action& action, ActionCtx /*ctx*/)
{
    if (action.kind == Action::Kind::Activate) {
        return flip();
    }
    if (action.kind == Action::Kind::SetValue && (action.text == "on" || action.text == "off")) {
        return (action.text == "on") == value_.value() ? true : flip();
    }
    return false;
}

void Toggle::set_interaction_environment(InteractionEnv env)
{
    env_ = env;
    if ((env.flags & 1U) != 0) {
        interacting_ = false;
    }
}

std::optional<ControlInvocation> Toggle::take_control_invocation() { return take_bound_invocation(action_); }

std::vector<ControlActionBinding> Toggle::control_action_bindings() const
{
    return bound_action_bindings(action_);
}

void Toggle::refresh_control_action_availability(const ActionAvailability& availability)
{
    (void)refresh_bound_availability(action_, availability);
}

}  // namespace vorn_ui::widget::toggle
