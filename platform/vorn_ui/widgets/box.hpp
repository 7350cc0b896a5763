#pragma once
// BoxWidget: the shared body of the widgets that own a list of children laid out by one flex node (Row, Column,
// Container). It syncs, lays out, draws and passes events to its children in child order; its builder steps (in
// BoxBuilders) set the node's flex style. Lengths are logical pixels before the theme's ui scale; percentages are
// fractions (0.5 is half the parent's inner size).

#include "vorn_ui/widget.hpp"

#include <concepts>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vorn_ui::widget {

// The flex style of a box, in style units.
struct BoxLayout {
    flex_layout::FlexDirection direction = flex_layout::FlexDirection::Column;
    std::optional<float> spacing;                    // between children along the main axis
    std::optional<float> gap;                        // between lines across (with wrapping)
    std::optional<std::pair<float, float>> padding;  // horizontal, vertical
    std::optional<flex_layout::Edges> padding_edges;  // per side; wins over `padding`
    std::optional<flex_layout::Align> align;         // align-items
    std::optional<flex_layout::Justify> justify;
    bool wrap = false;
    flex_layout::Dimension width{};
    flex_layout::Dimension height{};
    flex_layout::Dimension min_width{};
    flex_layout::Dimension min_height{};
    flex_layout::Dimension max_width{};
    flex_layout::Dimension max_height{};
    float grow = 0.0f;
    float shrink = 1.0f;
    std::optional<flex_layout::Dimension> basis;
    std::optional<flex_layout::Align> align_self;

    // The node style: points × ui scale, percentages as they are.
    [[nodiscard]] flex_layout::Style style(const StyleContext& ctx) const;
};

// A dimension scaled by the ui scale (points only).
[[nodiscard]] flex_layout::Dimension scaled_dimension(flex_layout::Dimension d, const StyleContext& ctx);

class BoxWidget : public Widget {
public:
    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::vector<const Widget*> children() const override { return child_list(children_); }
    [[nodiscard]] std::vector<Widget*> children_mut() override { return child_list_mut(children_); }
    [[nodiscard]] Rect get_rect() const override { return rect_; }

    [[nodiscard]] std::size_t child_count() const { return children_.size(); }
    [[nodiscard]] Widget* child(std::size_t index) const
    {
        return index < children_.size() ? children_[index].get() : nullptr;
    }
    [[nodiscard]] const BoxLayout& box_layout() const { return layout_; }
    [[nodiscard]] BoxLayout& box_layout() { return layout_; }

    // Adds a child at the end (nullptr is ignored).
    void push_child(std::unique_ptr<Widget> child)
    {
        if (child) {
            children_.push_back(std::move(child));
        }
    }
    // Removes every child (outside any walk over them).
    void clear_children() { children_.clear(); }

protected:
    BoxWidget() = default;
    explicit BoxWidget(flex_layout::FlexDirection direction) { layout_.direction = direction; }

    // Extra painting below the children (a background); nothing by default.
    virtual void draw_background(DrawContext& /*ctx*/) const {}
    // Whether the children are clipped to the box's rectangle.
    [[nodiscard]] virtual bool clips_children() const { return false; }

    std::vector<std::unique_ptr<Widget>> children_;
    std::vector<NodeId> child_nodes_;  // parallel to children_, valid from build_layout to the next one
    NodeId node_{};
    Rect rect_{};
    BoxLayout layout_{};
};

template <class W>
concept WidgetValue = std::derived_from<std::remove_cvref_t<W>, Widget> && !std::is_lvalue_reference_v<W>;

// Builder steps shared by the boxes; each takes the box by value (an rvalue) and returns it.
template <class Self>
class BoxBuilders : public BoxWidget {
public:
    // Children
    Self& push(std::unique_ptr<Widget> child) &
    {
        push_child(std::move(child));
        return self();
    }
    [[nodiscard]] Self push(std::unique_ptr<Widget> child) &&
    {
        push_child(std::move(child));
        return std::move(self());
    }
    template <WidgetValue W>
    Self& push(W&& child) &
    {
        push_child(std::make_unique<std::remove_cvref_t<W>>(std::forward<W>(child)));
        return self();
    }
    template <WidgetValue W>
    [[nodiscard]] Self push(W&& child) &&
    {
        push_child(std::make_unique<std::remove_cvref_t<W>>(std::forward<W>(child)));
        return std::move(self());
    }
    [[nodiscard]] Self with_children(std::vector<std::unique_ptr<Widget>> list) &&
    {
        for (auto& child : list) {
            push_child(std::move(child));
        }
        return std::move(self());
    }

    // Spacing and padding
    [[nodiscard]] Self with_spacing(float spacing) && { return set([&] { layout_.spacing = spacing; }); }
    [[nodiscard]] Self with_gap(float gap) && { return set([&] { layout_.gap = gap; }); }
    [[nodiscard]] Self with_padding(float horizontal, float vertical) &&
    {
        return set([&] { layout_.padding = std::pair{horizontal, vertical}; });
    }
    [[nodiscard]] Self with_padding(float all) && { return set([&] { layout_.padding = std::pair{all, all}; }); }
    [[nodiscard]] Self with_padding_edges(flex_layout::Edges edges) &&
    {
        return set([&] { layout_.padding_edges = edges; });
    }
    // Alignment
    [[nodiscard]] Self with_align(flex_layout::Align align) && { return set([&] { layout_.align = align; }); }
    [[nodiscard]] Self with_justify(flex_layout::Justify justify) &&
    {
        return set([&] { layout_.justify = justify; });
    }
    [[nodiscard]] Self with_align_self(flex_layout::Align align) &&
    {
        return set([&] { layout_.align_self = align; });
    }
    [[nodiscard]] Self with_wrap(bool wrap = true) && { return set([&] { layout_.wrap = wrap; }); }
    // Size (points in style units; see flex_layout::Dimension for percentages)
    [[nodiscard]] Self with_width(float width) &&
    {
        return set([&] { layout_.width = flex_layout::Dimension::points(width); });
    }
    [[nodiscard]] Self with_height(float height) &&
    {
        return set([&] { layout_.height = flex_layout::Dimension::points(height); });
    }
    [[nodiscard]] Self with_width_dim(flex_layout::Dimension width) && { return set([&] { layout_.width = width; }); }
    [[nodiscard]] Self with_height_dim(flex_layout::Dimension height) &&
    {
        return set([&] { layout_.height = height; });
    }
    [[nodiscard]] Self with_min_width(float width) &&
    {
        return set([&] { layout_.min_width = flex_layout::Dimension::points(width); });
    }
    [[nodiscard]] Self with_min_height(float height) &&
    {
        return set([&] { layout_.min_height = flex_layout::Dimension::points(height); });
    }
    [[nodiscard]] Self with_max_width(float width) &&
    {
        return set([&] { layout_.max_width = flex_layout::Dimension::points(width); });
    }
    [[nodiscard]] Self with_max_height(float height) &&
    {
        return set([&] { layout_.max_height = flex_layout::Dimension::points(height); });
    }
    // Flex
    [[nodiscard]] Self with_flex(float grow) && { return set([&] { layout_.grow = grow; }); }
    [[nodiscard]] Self with_shrink(float shrink) && { return set([&] { layout_.shrink = shrink; }); }
    [[nodiscard]] Self with_basis(flex_layout::Dimension basis) && { return set([&] { layout_.basis = basis; }); }

    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Self>(std::move(self())); }

protected:
    using BoxWidget::BoxWidget;

private:
    Self& self() { return static_cast<Self&>(*this); }
    template <class F>
    Self set(F&& change)
    {
        change();
        return std::move(self());
    }
};

}  // namespace vorn_ui::widget

namespace vorn_ui {
using widget::BoxBuilders;
using widget::BoxLayout;
using widget::BoxWidget;
}  // namespace vorn_ui
