#include "vorn_ui/widgets/text.hpp"

#include "vorn_ui/access.hpp"

namespace vorn_ui::widget::text {

Color text_color(const Theme& theme, TextColor role)
{
    switch (role) {
    case TextColor::Primary: return theme.text;
    case TextColor::Secondary: return theme.text_secondary;
    case TextColor::Disabled: return theme.text_disabled;
    case TextColor::Accent: return theme.accent;
    case TextColor::Info: return theme.tone(Tone::Info);
    case TextColor::Success: return theme.tone(Tone::Success);
    case TextColor::Warning: return theme.tone(Tone::Warning);
    case TextColor::Danger: return theme.tone(Tone::Danger);
    }
    return theme.text;
}

Text Text::with_size(float size) &&
{
    size_ = size;
    look_changed();
    return std::move(*this);
}

Text Text::with_style(TextStyle style) &&
{
    style_ = style;
    look_changed();
    return std::move(*this);
}

Text Text::caption() &&
{
    style_ = TextStyle::Caption;
    color_ = TextColor::Secondary;
    look_changed();
    return std::move(*this);
}

Text Text::with_color(TextColor color) &&
{
    color_ = color;
    custom_color_.reset();
    look_changed();
    return std::move(*this);
}

Text Text::with_custom_color(Color color) &&
{
    custom_color_ = color;
    look_changed();
    return std::move(*this);
}

Text Text::with_align(TextAlign align) &&
{
    align_ = align;
    look_changed();
    return std::move(*this);
}

Text Text::no_wrap() &&
{
    wrap_ = false;
    look_changed();
    return std::move(*this);
}

Text Text::with_max_lines(std::uint16_t lines) &&
{
    max_lines_ = lines;
    look_changed();
    return std::move(*this);
}

Text Text::with_label(std::string label) &&
{
    label_ = std::move(label);
    return std::move(*this);
}

void Text::set_text(std::string text)
{
    if (text == text_) {
        return;
    }
    text_ = std::move(text);
    content_changed_ = true;
    layout_dirty_ = true;
}

void Text::look_changed()
{
    look_changed_ = true;
    layout_dirty_ = true;
}

TextSpec Text::spec(const TextRenderer& text, std::optional<float> wrap_width) const
{
    TextSpec s;
    s.size = text.renderer_input_style(size_).size;
    s.style = style_;
    s.align = align_;
    s.wrap_width = wrap_width;
    s.ellipsize = !wrap_;
    s.max_lines = max_lines_;
    return s;
}

void Text::sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) {}

NodeId Text::build_layout(flex_layout::Tree& tree, const StyleContext& /*style*/, NodeWidgetMap& widgets)
{
    flex_layout::Style s;
    s.flex_shrink = 1.0f;
    const NodeId node = tree.new_measured_leaf(s);
    widgets.insert(node, *this);
    return node;
}

Size Text::measure(flex_layout::KnownSize known, flex_layout::AvailableSize available, TextRenderer& text) const
{
    if (text_.empty()) {
        return {known.width.value_or(0.0f), known.height.value_or(text.renderer_input_style(size_).size * 1.2f)};
    }
    return text.measure_for_layout(text_, spec(text, std::nullopt), known, available, wrap_);
}

void Text::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
    layout_dirty_ = false;
}

void Text::draw(DrawContext& ctx) const
{
    TextRenderer* text = ctx.text();
    if (ctx.cairo() == nullptr || text == nullptr || text_.empty()) {
        return;
    }
    const Color color = custom_color_ ? *custom_color_ : text_color(ctx.theme(), color_);
    // Wrapped (or cut with an ellipsis) at the laid-out width; measuring rounded widths up, a text that was laid
    // out on one line stays on one line.
    text->draw(ctx.cairo(), text_, spec(*text, static_cast<float>(rect_.width())), {rect_.x0, rect_.y0}, color);
}

void Text::handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) {}

std::optional<std::string_view> Text::label() const
{
    if (label_) {
        return std::string_view(*label_);
    }
    return std::nullopt;
}

std::optional<AccessNode> Text::accessibility() const
{
    const bool heading = style_ == TextStyle::Bold && size_ >= 18.0f;
    return AccessNode(heading ? access_role::heading : access_role::label).with_label(text_).with_bounds(rect_);
}

void Text::mark_drawn()
{
    content_changed_ = false;
    look_changed_ = false;
}

}  // namespace vorn_ui::widget::text
