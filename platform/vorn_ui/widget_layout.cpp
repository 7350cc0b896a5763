// Layout, drawing, damage and frame-scheduling defaults.

#include "vorn_ui/walks.hpp"
#include "vorn_ui/widget.hpp"

namespace vorn_ui {

bool Widget::update() { return false; }

Size Widget::measure(flex_layout::KnownSize /*known*/, flex_layout::AvailableSize /*available*/,
                     TextRenderer& /*text*/) const
{
    return Size{0.0f, 0.0f};
}

bool Widget::adjust_layout_style(flex_layout::Style& /*style*/, const StyleContext& /*ctx*/) const { return false; }
std::optional<LayoutExtension> Widget::layout_extension() const { return std::nullopt; }
std::optional<SizingExtension> Widget::sizing_extension() const { return std::nullopt; }

bool Widget::adjust_layout_with_measure(flex_layout::Style& style, const StyleContext& ctx,
                                        flex_layout::KnownSize /*known*/,
                                        flex_layout::AvailableSize /*available*/) const
{
    return adjust_layout_style(style, ctx);
}

std::optional<Rect> Widget::child_clip_rect() const { return std::nullopt; }

bool Widget::wants_extra_input() const { return false; }
bool Widget::wants_pointer_capture() const { return false; }
bool Widget::wants_extra_pointer() const { return false; }

bool Widget::needs_animation_frame() const
{
    return walks::any_short(*this, [](const Widget& child) { return child.needs_animation_frame(); });
}

std::optional<Instant> Widget::next_wake_deadline() const
{
    return walks::earliest(*this, [](const Widget& child) { return child.next_wake_deadline(); });
}

std::optional<RegionWords> Widget::first_descendant_region() const
{
    return walks::first_present(*this, [](const Widget& child) { return child.first_descendant_region(); });
}

bool Widget::take_structure_dirty()
{
    return walks::or_all_mut(*this, [](Widget& child) { return child.take_structure_dirty(); });
}

bool Widget::any_descendant_signal() const
{
    return walks::or_all(*this, [](const Widget& child) { return child.any_descendant_signal(); });
}

bool Widget::needs_redraw() const
{
    const auto walk = walks::seen_any(*this, [](const Widget& child) { return child.needs_redraw(); });
    return walk.answer || !walk.seen;
}

void Widget::collect_damage(std::vector<Rect>& damage) const
{
    if (needs_redraw()) {
        damage.push_back(get_rect());
    }
}

void Widget::mark_drawn()
{
    walks::each_mut(*this, [](Widget& child) { child.mark_drawn(); });
}

void Widget::release_scene_cache()
{
    walks::each_mut(*this, [](Widget& child) { child.release_scene_cache(); });
}

bool Widget::is_layout_dirty() const
{
    const auto walk = walks::seen_any(*this, [](const Widget& child) { return child.is_layout_dirty(); });
    return walk.answer || !walk.seen;
}

bool Widget::layout_needs_measure() const
{
    const auto walk = walks::seen_any(*this, [](const Widget& child) { return child.layout_needs_measure(); });
    return walk.seen ? walk.answer : is_layout_dirty();
}

void Widget::draw_with_presence(DrawContext& ctx) const
{
    if (!ctx.is_visible(get_rect())) {
        return;
    }
    draw(ctx);
}

void Widget::draw_overlay(DrawContext& ctx, OverlayRecord& overlay)
{
    walks::each_mut(*this, [&](Widget& child) {
        OverlayRecord copy = overlay;
        child.draw_overlay(ctx, copy);
    });
}

}  // namespace vorn_ui
