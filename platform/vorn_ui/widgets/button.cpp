#include "vorn_ui/widgets/button.hpp"

#include "vorn_ui/actions/bound_action.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"

#include <page_doc/page_doc.hpp>

#include <algorithm>
#include <cmath>

namespace vorn_ui::widget::button {

namespace {

constexpr float caption_size = 13.0f;
constexpr float padding_x = 16.0f;
constexpr float min_height = 32.0f;

struct Look {
    Color fill;
    Color ink;
    std::optional<Color> edge;
};

Look look_of(const Theme& theme, std::uint8_t style, bool enabled)
{
    Look look;
    switch (style) {
    case button_style::primary:
        look = {theme.accent, theme.on_accent, std::nullopt};
        break;
    case button_style::destructive:
        look = {theme.tone(Tone::Danger).with_alpha(theme.is_dark ? 0.18f : 0.12f), theme.tone(Tone::Danger),
                theme.tone(Tone::Danger).with_alpha(0.55f)};
        break;
    case button_style::flat:
        look = {Color{0, 0, 0, 0}, theme.accent, std::nullopt};
        break;
    default:
        look = {theme.surface_raised, theme.text, theme.outline_strong};
        break;
    }
    if (theme.high_contrast) {
        look.edge = look.ink;
    }
    if (!enabled) {
        look.fill = look.fill.a > 0.0f ? theme.surface_raised.with_alpha(0.5f) : look.fill;
        look.ink = theme.text_disabled;
        look.edge = theme.outline;
    }
    return look;
}

}  // namespace

Button::Button(std::string caption) : caption_(std::move(caption)) {}

Button::Button(std::string id, std::string caption, std::string key)
    : id_(std::move(id)), caption_(std::move(caption))
{
    if (!key.empty()) {
        key_ = std::move(key);
    }
}

Button Button::with_style(std::uint8_t style) &&
{
    style_ = style;
    changed_look();
    return std::move(*this);
}

Button Button::with_size(float width, float height) &&
{
    width_ = width;
    height_ = height;
    return std::move(*this);
}

Button Button::with_width(float width) &&
{
    width_ = width;
    return std::move(*this);
}

Button Button::with_enabled(bool enabled) &&
{
    set_enabled(enabled);
    return std::move(*this);
}

Button Button::with_value_text(std::string text) &&
{
    set_value_text(std::move(text));
    return std::move(*this);
}

Button Button::with_key(std::string key) &&
{
    key_ = key.empty() ? std::nullopt : std::optional<std::string>(std::move(key));
    return std::move(*this);
}

Button Button::with_accessible_label(std::string label) &&
{
    accessible_label_ = label.empty() ? std::nullopt : std::optional<std::string>(std::move(label));
    return std::move(*this);
}

Button Button::with_accessible_description(std::string description) &&
{
    accessible_description_ =
        description.empty() ? std::nullopt : std::optional<std::string>(std::move(description));
    return std::move(*this);
}

Button Button::on_press(std::function<void()> callback) &&
{
    on_press_ = std::move(callback);
    return std::move(*this);
}

Button Button::on_action(vorn_actions::ActionBinding<vorn_actions::Unit> binding) &&
{
    set_action(std::move(binding));
    return std::move(*this);
}

Button Button::bind_action(std::function<void()> handler) &&
{
    set_handler(std::move(handler));
    return std::move(*this);
}

void Button::set_caption(std::string caption)
{
    if (caption != caption_) {
        caption_ = std::move(caption);
        content_changed_ = true;
    }
}

void Button::set_enabled(bool enabled)
{
    if (enabled != enabled_) {
        enabled_ = enabled;
        changed_look();
    }
}

void Button::set_value_text(std::optional<std::string> text)
{
    value_text_ = std::move(text);
    content_changed_ = true;
}

void Button::set_action(vorn_actions::ActionBinding<vorn_actions::Unit> binding)
{
    action_.emplace(std::move(binding));
}

void Button::set_handler(std::function<void()> handler)
{
    // The control acts (flag yes), so its invocation is started as an operation that changes something.
    ControlInvokeTarget target = ControlInvokeTarget::bind(id_, caption_, true, std::move(handler));
    action_.emplace(target.binding());
    invoke_.emplace(std::move(target));
}

bool Button::activate()
{
    if (!is_enabled()) {
        return false;
    }
    if (key_) {
        press_pending_ = true;
    }
    if (action_) {
        (void)action_->emit(vorn_actions::Unit{});
    }
    if (on_press_) {
        on_press_();
    }
    return true;
}

void Button::sync(page_doc::Document& doc, SyncContext& /*ctx*/)
{
    if (press_pending_ && key_) {
        doc.put_bool(*key_, true);
    }
    press_pending_ = false;
}

NodeId Button::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    flex_layout::Style s;
    s.flex_shrink = 0.0f;
    if (width_ > 0.0f) {
        s.width = flex_layout::Dimension::points(style.scaled(width_));
    }
    if (height_ > 0.0f) {
        s.height = flex_layout::Dimension::points(style.scaled(height_));
    }
    s.min_height = flex_layout::Dimension::points(style.scaled(std::min(min_height, height_ > 0.0f ? height_ : min_height)));
    const NodeId node = tree.new_measured_leaf(s);
    widgets.insert(node, *this);
    return node;
}

Size Button::measure(flex_layout::KnownSize known, flex_layout::AvailableSize /*available*/, TextRenderer& text) const
{
    const float size = text.renderer_input_style(caption_size).size;
    const Size label = text.measure(caption_, size, TextStyle::Medium);
    const float scale = text.ui_scale();
    return {known.width.value_or(std::ceil(label.width + 2.0f * padding_x * scale)),
            known.height.value_or(std::ceil(std::max(label.height + 12.0f * scale, min_height * scale)))};
}

void Button::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
}

void Button::draw(DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    TextRenderer* text = ctx.text();
    if (cr == nullptr || text == nullptr || rect_.area() <= 0.0) {
        return;
    }
    const Theme& theme = ctx.theme();
    const bool enabled = is_enabled();
    const Look look = look_of(theme, style_, enabled);
    const double radius = theme.scaled(theme.corner_radius);
    paint::fill_rounded(cr, rect_, radius, look.fill);
    if (enabled && (pressed_ || hovered_)) {
        const Color overlay = theme.is_dark || style_ == button_style::primary ? (pressed_ ? theme.pressed : theme.hover)
                                                                               : Color{0, 0, 0, pressed_ ? 0.10f : 0.05f};
        paint::fill_rounded(cr, rect_, radius, overlay);
    }
    if (look.edge) {
        paint::stroke_rounded(cr, rect_, radius, *look.edge, theme.high_contrast ? 1.5 : 1.0);
    }
    const float size = text->renderer_input_style(caption_size).size;
    TextSpec spec;
    spec.size = size;
    spec.style = TextStyle::Medium;
    const double inner = std::max(0.0, rect_.width() - 2.0 * theme.scaled(8.0f));
    spec.wrap_width = static_cast<float>(inner);
    spec.ellipsize = true;
    spec.max_lines = 1;
    spec.align = TextAlign::Center;
    const TextMetrics metrics = text->metrics(caption_, spec);
    text->draw(cr, caption_, spec,
               {rect_.x0 + (rect_.width() - inner) / 2.0, rect_.y0 + (rect_.height() - metrics.height) / 2.0},
               look.ink);
    if (focused_) {
        paint::focus_ring(cr, theme, rect_, radius);
    }
}

void Button::handle_event(const Event& event, DispatchContext& ctx)
{
    const std::optional<Point> pointer = ctx.pointer(event);
    if (event.get<PointerMove>() != nullptr || event.get<PointerLeave>() != nullptr) {
        const bool inside = pointer && rect_.contains(*pointer);
        if (inside != hovered_) {
            hovered_ = inside;
            changed_look();
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
            ctx.request = ctx.node;  // focus and the pointer until release
            ctx.handled = true;
            ctx.changed = true;
            changed_look();
        }
        return;
    }
    if (pressed_) {
        pressed_ = false;
        changed_look();
        ctx.changed = true;
        ctx.handled = true;
        if (inside) {
            activate();
        }
    }
}

std::optional<std::uint8_t> Button::hit_test(Point point) const
{
    if (rect_.contains(point)) {
        return hit_code_control;
    }
    return std::nullopt;
}

std::optional<std::string_view> Button::value_text() const
{
    if (value_text_) {
        return std::string_view(*value_text_);
    }
    return std::nullopt;
}

void Button::set_focus(bool focused)
{
    if (focused != focused_) {
        focused_ = focused;
        changed_look();
    }
}

std::optional<AccessNode> Button::accessibility() const
{
    AccessNode node =
        AccessNode(access_role::button).with_label(accessible_label_.value_or(caption_)).with_bounds(rect_);
    if (accessible_description_) {
        node = std::move(node).with_description(*accessible_description_);
    }
    if (!id_.empty()) {
        node = std::move(node).with_id(id_);
    }
    if (value_text_) {
        node = std::move(node).with_value(*value_text_);
    }
    node.focused = focused_;
    node.disabled = !is_enabled();
    return std::move(node).with_action(Action::Kind::Activate).with_action(Action::Kind::Focus);
}

bool Button::perform_action(const Action& action, ActionCtx /*ctx*/)
{
    if (action.kind != Action::Kind::Activate) {
        return false;
    }
    return activate();
}

bool Button::is_enabled() const { return enabled_ && (!action_ || action_->is_available()); }

std::optional<ControlInvocation> Button::take_control_invocation() { return take_bound_invocation(action_); }

std::vector<ControlActionBinding> Button::control_action_bindings() const
{
    return bound_action_bindings(action_);
}

void Button::refresh_control_action_availability(const ActionAvailability& availability)
{
    if (refresh_bound_availability(action_, availability)) {
        changed_look();
    }
}

std::vector<vorn_actions::Resource> Button::resources(const page_doc::Document& /*doc*/) const
{
    if (invoke_) {
        return {invoke_->resource()};
    }
    return {};
}

std::unordered_set<std::string> Button::resource_operation_handlers() const
{
    std::unordered_set<std::string> kinds = Widget::resource_operation_handlers();
    if (invoke_) {
        kinds.emplace(control_invoke_kind);
    }
    return kinds;
}

ResourceOperationResult Button::invoke_resource_operation_v2(OperationClass op_class, std::string_view kind,
                                                             std::string_view payload, page_doc::Document& doc)
{
    if (invoke_ && invoke_->handles(kind, payload)) {
        return invoke_->invoke(kind, payload);
    }
    return Widget::invoke_resource_operation_v2(op_class, kind, payload, doc);
}

void Button::mark_drawn()
{
    content_changed_ = false;
    look_changed_ = false;
}

}  // namespace vorn_ui::widget::button
