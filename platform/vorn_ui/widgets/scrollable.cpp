#include "vorn_ui/widgets/scrollable.hpp"

#include "vorn_ui/paint.hpp"

#include <cmath>
#include <limits>

namespace vorn_ui::widget::scrollable {

namespace {

constexpr double line_step = 40.0;
constexpr double reveal_margin = 8.0;
constexpr double bar_width = 6.0;
constexpr double bar_inset = 3.0;
constexpr double min_thumb = 24.0;

bool subtree_focused(const Widget& widget)
{
    for (const Widget* child : widget.children()) {
        if (child->is_focused() || subtree_focused(*child)) {
            return true;
        }
    }
    return false;
}

bool subtree_focusable(const Widget& widget)
{
    for (const Widget* child : widget.children()) {
        if (child->is_focusable() || subtree_focusable(*child)) {
            return true;
        }
    }
    return false;
}

// The event with its pointer position replaced by NaN (a point inside no rectangle).
Event hidden_position(const Event& event)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    Event copy = event;
    if (auto* move = std::get_if<PointerMove>(&copy.data)) {
        move->position = {nan, nan};
    } else if (auto* button = std::get_if<PointerButton>(&copy.data)) {
        button->position = {nan, nan};
    } else if (auto* wheel = std::get_if<PointerWheel>(&copy.data)) {
        wheel->position = {nan, nan};
    }
    return copy;
}

}  // namespace

Scrollable Scrollable::with_child(std::unique_ptr<Widget> child)
{
    Scrollable view;
    view.child_ = std::move(child);
    return view;
}

void Scrollable::set_child(std::unique_ptr<Widget> child)
{
    child_ = std::move(child);
    offset_ = 0.0;
    content_height_ = 0.0;
}

double Scrollable::max_scroll() const { return std::max(content_height_ - rect_.height(), 0.0); }

bool Scrollable::scroll_to(double offset)
{
    const double limit = max_scroll();
    const double clamped = std::isfinite(offset) ? std::clamp(offset, 0.0, limit) : offset_;
    if (clamped == offset_) {
        return false;
    }
    offset_ = clamped;
    return true;
}

Rect Scrollable::scrollbar_thumb() const
{
    const double limit = max_scroll();
    if (limit <= 0.0 || content_height_ <= 0.0) {
        return {};
    }
    const double view = rect_.height();
    const double track = std::max(view - 2.0 * bar_inset * scale_, 0.0);
    const double thumb = std::min(std::max(track * view / content_height_, min_thumb * scale_), track);
    const double y = rect_.y0 + bar_inset * scale_ + (track - thumb) * (offset_ / limit);
    const double x1 = rect_.x1 - bar_inset * scale_;
    return {x1 - bar_width * scale_, y, x1, y + thumb};
}

std::vector<const Widget*> Scrollable::children() const
{
    if (child_) {
        return {child_.get()};
    }
    return {};
}

std::vector<Widget*> Scrollable::children_mut()
{
    if (child_) {
        return {child_.get()};
    }
    return {};
}

void Scrollable::sync(page_doc::Document& doc, SyncContext& ctx)
{
    if (child_) {
        child_->sync(doc, ctx);
    }
}

NodeId Scrollable::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    scale_ = style.ui_scale();
    flex_layout::Style s;
    s.direction = flex_layout::FlexDirection::Column;
    s.align_items = flex_layout::Align::Stretch;
    s.overflow_y = flex_layout::Overflow::Scroll;
    // It takes the space its parent gives it, not its content's height: a fixed header above it keeps its size.
    s.flex_grow = 1.0f;
    s.flex_shrink = 1.0f;
    s.flex_basis = flex_layout::Dimension::points(0.0f);
    s.min_height = flex_layout::Dimension::points(0.0f);
    s.min_width = flex_layout::Dimension::points(0.0f);
    if (child_) {
        child_node_ = child_->build_layout(tree, style, widgets);
        flex_layout::Style child_style = tree.style(child_node_);
        child_style.flex_shrink = 0.0f;  // the content keeps its height; the view scrolls instead
        tree.set_style(child_node_, child_style);
        const NodeId only[] = {child_node_};
        node_ = tree.new_with_children(s, only);
    } else {
        child_node_ = {};
        node_ = tree.new_leaf(s);
    }
    widgets.insert(node_, *this);
    return node_;
}

void Scrollable::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
    if (!child_ || !child_node_.valid()) {
        content_height_ = 0.0;
        offset_ = 0.0;
        return;
    }
    const flex_layout::Layout& content = tree.layout(child_node_);
    content_height_ = content.y + content.height;
    offset_ = std::clamp(offset_, 0.0, max_scroll());
    // Whole pixels keep the content sharp.
    offset_ = std::round(offset_);
    child_->apply_layout(tree, child_node_, rect_.x0, rect_.y0 - offset_);
}

void Scrollable::draw(DrawContext& ctx) const
{
    {
        const DrawContext::ClipGuard clip = ctx.clip_to(rect_);
        if (child_) {
            child_->draw_with_presence(ctx);
        }
    }
    const Theme& theme = ctx.theme();
    if (ctx.cairo() != nullptr) {
        const Rect thumb = scrollbar_thumb();
        if (thumb.area() > 0.0) {
            const float alpha = dragging_ ? 0.55f : (hovered_ ? 0.40f : 0.25f);
            paint::fill_rounded(ctx.cairo(), thumb, thumb.width() / 2.0,
                                theme.high_contrast ? theme.text : theme.text.with_alpha(alpha));
        }
        if (focused_) {
            paint::stroke_rounded(ctx.cairo(), rect_, theme.corner_radius * theme.ui_scale, theme.focus,
                                  theme.focus_width * theme.ui_scale);
        }
    }
}

bool Scrollable::key_scope(const Event& /*event*/) const
{
    return focused_ || hovered_ || (child_ && (child_->is_focused() || subtree_focused(*child_)));
}

bool Scrollable::handle_own(const Event& event, DispatchContext& ctx)
{
    const std::optional<Point> pointer = ctx.pointer(event);
    if (const auto* wheel = event.get<PointerWheel>()) {
        if (pointer && rect_.contains(*pointer) && scroll_by(wheel->delta_y)) {
            ctx.handled = true;
            ctx.changed = true;
            return true;
        }
        return false;
    }
    if (const auto* button = event.get<PointerButton>()) {
        if (!button->pressed || button->button != MouseButton::Left || !pointer || !rect_.contains(*pointer)) {
            return false;
        }
        const Rect thumb = scrollbar_thumb();
        if (thumb.area() <= 0.0) {
            return false;
        }
        const Rect track{thumb.x0 - bar_inset * scale_, rect_.y0, rect_.x1, rect_.y1};
        if (!track.contains(*pointer)) {
            return false;
        }
        if (!thumb.contains(*pointer)) {
            // A press on the track moves the thumb's centre under the pointer, then drags from there.
            const double track_span = rect_.height() - 2.0 * bar_inset * scale_ - thumb.height();
            if (track_span > 0.0) {
                const double target = pointer->y - rect_.y0 - bar_inset * scale_ - thumb.height() / 2.0;
                scroll_to(target / track_span * max_scroll());
            }
        }
        dragging_ = true;
        drag_start_y_ = pointer->y;
        drag_start_offset_ = offset_;
        ctx.handled = true;
        ctx.changed = true;
        return true;
    }
    if (const auto* key = event.get<KeyDown>()) {
        if (!key_scope(event) || key->modifiers.control || key->modifiers.alt || key->modifiers.super) {
            return false;
        }
        const double page = std::max(rect_.height() - line_step * scale_, line_step * scale_);
        bool moved = false;
        switch (key->key) {
        case Key::Up: moved = scroll_by(-line_step * scale_); break;
        case Key::Down: moved = scroll_by(line_step * scale_); break;
        case Key::PageUp: moved = scroll_by(-page); break;
        case Key::PageDown: moved = scroll_by(page); break;
        case Key::Home: moved = scroll_to(0.0); break;
        case Key::End: moved = scroll_to(max_scroll()); break;
        default: return false;
        }
        if (moved) {
            ctx.handled = true;
            ctx.changed = true;
        }
        return moved;
    }
    return false;
}

void Scrollable::handle_event(const Event& event, DispatchContext& ctx)
{
    const std::optional<Point> pointer = ctx.pointer(event);
    if (dragging_) {
        if (const auto* move = event.get<PointerMove>(); move != nullptr && pointer) {
            const Rect thumb = scrollbar_thumb();
            const double track_span = rect_.height() - 2.0 * bar_inset * scale_ - thumb.height();
            if (track_span > 0.0 && scroll_to(drag_start_offset_ + (pointer->y - drag_start_y_) / track_span *
                                                                        max_scroll())) {
                ctx.changed = true;
            }
            ctx.handled = true;
            return;
        }
        if (const auto* button = event.get<PointerButton>(); button != nullptr && !button->pressed) {
            dragging_ = false;
            ctx.changed = true;
            ctx.handled = true;
            return;
        }
    }
    if (event.get<PointerMove>() != nullptr || event.get<PointerLeave>() != nullptr) {
        const bool inside = pointer && rect_.contains(*pointer);
        if (inside != hovered_) {
            hovered_ = inside;
            if (max_scroll() > 0.0) {
                ctx.changed = true;
            }
        }
    }
    // A press on the scroll bar belongs to the view, not to the content below it.
    if (event.get<PointerButton>() != nullptr && !ctx.handled && handle_own(event, ctx)) {
        return;
    }
    if (child_) {
        const NodeId own = ctx.node;
        ctx.node = child_node_;
        if (pointer && !rect_.contains(*pointer)) {
            child_->handle_event(hidden_position(event), ctx);
        } else {
            child_->handle_event(event, ctx);
        }
        ctx.node = own;
    }
    if (!ctx.handled && event.get<PointerButton>() == nullptr) {
        handle_own(event, ctx);
    }
}

bool Scrollable::reveal_descendant(const Widget* target)
{
    if (!Widget::reveal_descendant(target)) {
        return false;
    }
    const Rect t = target->get_rect();
    const double margin = reveal_margin * scale_;
    const double top = rect_.y0 + margin;
    const double bottom = rect_.y1 - margin;
    if (t.y0 < top) {
        scroll_by(t.y0 - top);
    } else if (t.y1 > bottom) {
        // Down until the bottom shows, but never so far that the top leaves the view.
        scroll_by(std::min(t.y1 - bottom, t.y0 - top));
    }
    return true;
}

bool Scrollable::is_focusable() const { return max_scroll() > 0.0 && child_ && !subtree_focusable(*child_); }

std::optional<AccessNode> Scrollable::accessibility() const { return AccessNode{}; }

}  // namespace vorn_ui::widget::scrollable
