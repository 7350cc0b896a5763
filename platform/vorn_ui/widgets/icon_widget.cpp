#include "vorn_ui/widgets/icon_widget.hpp"

namespace vorn_ui::widget::icon {

IconWidget IconWidget::with_size(float size) &&
{
    size_ = size;
    return std::move(*this);
}

IconWidget IconWidget::with_stroke(float stroke) &&
{
    stroke_ = stroke;
    return std::move(*this);
}

IconWidget IconWidget::with_color(Color color) &&
{
    color_ = color;
    return std::move(*this);
}

void IconWidget::sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) {}

NodeId IconWidget::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    flex_layout::Style s;
    const float side = style.scaled(size_);
    s.width = flex_layout::Dimension::points(side);
    s.height = flex_layout::Dimension::points(side);
    s.flex_shrink = 0.0f;
    const NodeId node = tree.new_leaf(s);
    widgets.insert(node, *this);
    return node;
}

void IconWidget::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
}

void IconWidget::draw(DrawContext& ctx) const
{
    icons::draw(ctx.cairo(), icon_, rect_, color_.value_or(ctx.theme().text), stroke_ * ctx.theme().ui_scale);
}

void IconWidget::handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) {}

}  // namespace vorn_ui::widget::icon
