#include "vorn_ui/widgets/spacer.hpp"

#include <array>

namespace vorn_ui::widget::spacer {

Spacer Spacer::flexible(float flex)
{
    Spacer spacer;
    spacer.flex_ = flex;
    return spacer;
}

Spacer Spacer::fixed(float size)
{
    Spacer spacer;
    spacer.size_ = size;
    return spacer;
}

float Spacer::token_size(std::uint8_t size_token)
{
    constexpr std::array<float, 6> sizes{4.0f, 8.0f, 12.0f, 16.0f, 24.0f, 32.0f};
    return size_token < sizes.size() ? sizes[size_token] : 48.0f;
}

Spacer Spacer::token(std::uint8_t size_token) { return fixed(token_size(size_token)); }

void Spacer::sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) {}

NodeId Spacer::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    flex_layout::Style s;
    if (size_) {
        const float size = style.scaled(*size_);
        s.width = flex_layout::Dimension::points(size);
        s.height = flex_layout::Dimension::points(size);
        s.flex_shrink = 0.0f;
    } else {
        s.flex_grow = flex_;
        s.flex_shrink = 1.0f;
        s.flex_basis = flex_layout::Dimension::points(0.0f);
        s.min_width = flex_layout::Dimension::points(0.0f);
        s.min_height = flex_layout::Dimension::points(0.0f);
    }
    const NodeId node = tree.new_leaf(s);
    widgets.insert(node, *this);
    return node;
}

void Spacer::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
}

void Spacer::draw(DrawContext& /*ctx*/) const {}
void Spacer::handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) {}

}  // namespace vorn_ui::widget::spacer
