#include "vorn_ui/widgets/badge.hpp"

#include "vorn_ui/access.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"

#include <cmath>

namespace vorn_ui::widget::badge {

namespace {

constexpr float badge_text_size = 12.0f;
constexpr float padding_x = 8.0f;
constexpr float padding_y = 3.0f;

}  // namespace

Tone tone_of_kind(std::uint8_t kind)
{
    switch (kind) {
    case 0: return Tone::Success;
    case 1: return Tone::Info;
    default: return Tone::Neutral;
    }
}

Badge::Badge(std::string text, Tone tone) : text_(std::move(text)), tone_(tone) {}

Badge Badge::with_style(std::string text, BadgeStyle style)
{
    Badge badge;
    badge.text_ = std::move(text);
    badge.style_ = style;
    return badge;
}

void Badge::set_text(std::string text)
{
    if (text != text_) {
        text_ = std::move(text);
        redraw_ = true;
        pill_ = {};  // measure again
    }
}

void Badge::set_tone(Tone tone)
{
    if (tone_ != tone || style_) {
        tone_ = tone;
        style_.reset();
        redraw_ = true;
    }
}

void Badge::sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) {}

NodeId Badge::build_layout(flex_layout::Tree& tree, const StyleContext& /*style*/, NodeWidgetMap& widgets)
{
    flex_layout::Style s;
    s.flex_shrink = 0.0f;
    const NodeId node = tree.new_measured_leaf(s);
    widgets.insert(node, *this);
    return node;
}

Size Badge::measure(flex_layout::KnownSize known, flex_layout::AvailableSize /*available*/,
                    TextRenderer& text) const
{
    const float size = text.renderer_input_style(badge_text_size).size;
    const Size label = text.measure(text_, size, TextStyle::Medium);
    const float scale = text.ui_scale();
    const Size pill{std::ceil(label.width + 2.0f * padding_x * scale), std::ceil(label.height + 2.0f * padding_y * scale)};
    return {known.width.value_or(pill.width), known.height.value_or(pill.height)};
}

void Badge::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
    pill_ = rect_;
}

void Badge::draw(DrawContext& ctx) const
{
    TextRenderer* text = ctx.text();
    if (ctx.cairo() == nullptr || text == nullptr) {
        return;
    }
    const Theme& theme = ctx.theme();
    const float size = text->renderer_input_style(badge_text_size).size;
    const Size label = text->measure(text_, size, TextStyle::Medium);
    const double scale = theme.ui_scale;
    // The pill hugs the text even when the widget was stretched; it stays inside the rectangle.
    const double width = std::min(rect_.width(), label.width + 2.0 * padding_x * scale);
    const double height = std::min(rect_.height(), label.height + 2.0 * padding_y * scale);
    const double y = rect_.y0 + (rect_.height() - height) / 2.0;
    const Rect pill = Rect::from_origin_size(rect_.x0, y, width, height);

    Color fill;
    Color ink;
    if (style_) {
        fill = style_->fill;
        ink = style_->text;
    } else {
        const Color tone = theme.tone(tone_.value_or(Tone::Neutral));
        fill = tone.with_alpha(theme.high_contrast ? 0.0f : (theme.is_dark ? 0.16f : 0.12f));
        ink = tone;
    }
    paint::fill_rounded(ctx.cairo(), pill, height / 2.0, fill);
    if (theme.high_contrast && !style_) {
        paint::stroke_rounded(ctx.cairo(), pill, height / 2.0, ink, 1.0);
    }
    text->draw_text(ctx.cairo(), text_, ink, {pill.x0 + (pill.width() - label.width) / 2.0, pill.y0 + padding_y * scale},
                    TextStyle::Medium, size);
}

void Badge::handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) {}

std::optional<AccessNode> Badge::accessibility() const
{
    return AccessNode(access_role::status).with_label(text_).with_bounds(rect_);
}

}  // namespace vorn_ui::widget::badge
