#include "vorn_ui/widgets/box.hpp"

#include "vorn_ui/walks.hpp"

namespace vorn_ui::widget {

flex_layout::Dimension scaled_dimension(flex_layout::Dimension d, const StyleContext& ctx)
{
    if (d.kind == flex_layout::Dimension::Kind::Points) {
        d.value = ctx.scaled(d.value);
    }
    return d;
}

flex_layout::Style BoxLayout::style(const StyleContext& ctx) const
{
    flex_layout::Style s;
    s.direction = direction;
    s.wrap = wrap ? flex_layout::FlexWrap::Wrap : flex_layout::FlexWrap::NoWrap;
    s.gap = ctx.scaled(spacing.value_or(0.0f));
    s.cross_gap = ctx.scaled(gap.value_or(0.0f));
    if (padding_edges) {
        s.padding = {ctx.scaled(padding_edges->left), ctx.scaled(padding_edges->right),
                     ctx.scaled(padding_edges->top), ctx.scaled(padding_edges->bottom)};
    } else if (padding) {
        s.padding = flex_layout::Edges::symmetric(ctx.scaled(padding->first), ctx.scaled(padding->second));
    }
    s.align_items = align.value_or(direction == flex_layout::FlexDirection::Row ? flex_layout::Align::Center
                                                                                : flex_layout::Align::Stretch);
    s.align_self = align_self;
    s.justify = justify.value_or(flex_layout::Justify::Start);
    s.width = scaled_dimension(width, ctx);
    s.height = scaled_dimension(height, ctx);
    s.min_width = scaled_dimension(min_width, ctx);
    s.min_height = scaled_dimension(min_height, ctx);
    s.max_width = scaled_dimension(max_width, ctx);
    s.max_height = scaled_dimension(max_height, ctx);
    s.flex_grow = grow;
    s.flex_shrink = shrink;
    if (basis) {
        s.flex_basis = scaled_dimension(*basis, ctx);
    }
    return s;
}

void BoxWidget::sync(page_doc::Document& doc, SyncContext& ctx)
{
    for (auto& child : children_) {
        child->sync(doc, ctx);
    }
}

NodeId BoxWidget::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    child_nodes_.clear();
    child_nodes_.reserve(children_.size());
    for (auto& child : children_) {
        child_nodes_.push_back(child->build_layout(tree, style, widgets));
    }
    node_ = tree.new_with_children(layout_.style(style), child_nodes_);
    widgets.insert(node_, *this);
    return node_;
}

void BoxWidget::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
    const std::size_t count = std::min(children_.size(), child_nodes_.size());
    for (std::size_t i = 0; i < count; ++i) {
        children_[i]->apply_layout(tree, child_nodes_[i], rect_.x0, rect_.y0);
    }
}

void BoxWidget::draw(DrawContext& ctx) const
{
    draw_background(ctx);
    if (clips_children()) {
        const DrawContext::ClipGuard guard = ctx.clip_to(rect_);
        for (const auto& child : children_) {
            child->draw_with_presence(ctx);
        }
        return;
    }
    for (const auto& child : children_) {
        child->draw_with_presence(ctx);
    }
}

void BoxWidget::handle_event(const Event& event, DispatchContext& ctx)
{
    const NodeId own = ctx.node;
    const std::size_t count = std::min(children_.size(), child_nodes_.size());
    for (std::size_t i = 0; i < count; ++i) {
        ctx.node = child_nodes_[i];
        children_[i]->handle_event(event, ctx);
    }
    ctx.node = own;
}

}  // namespace vorn_ui::widget
