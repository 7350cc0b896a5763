#pragma once
// Container: one or more children in a box with size rules (fixed width, maximum width, flex), optional padding,
// an optional background, and optionally clipping its children (its stored flag).
//
//   auto slot = vorn_ui::Container(std::move(control)).with_width(220.0f);
//   auto page = vorn_ui::Container().with_max_width(1040.0f).with_child(std::move(column));
//   auto filler = vorn_ui::Container().with_width(0.0f).with_flex(1.0f);

#include "vorn_ui/widgets/box.hpp"

#include <optional>

namespace vorn_ui::widget::container {

class Container final : public BoxBuilders<Container> {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::container::Container", "Container")
    Container() : BoxBuilders<Container>(flex_layout::FlexDirection::Column) {}
    explicit Container(std::unique_ptr<Widget> child) : Container() { push_child(std::move(child)); }

    [[nodiscard]] Container with_child(std::unique_ptr<Widget> child) &&
    {
        push_child(std::move(child));
        return std::move(*this);
    }
    template <WidgetValue W>
    [[nodiscard]] Container with_child(W&& child) &&
    {
        push_child(std::make_unique<std::remove_cvref_t<W>>(std::forward<W>(child)));
        return std::move(*this);
    }
    // Lays the children out in a row instead of a column.
    [[nodiscard]] Container horizontal() &&
    {
        layout_.direction = flex_layout::FlexDirection::Row;
        return std::move(*this);
    }
    [[nodiscard]] Container with_background(Color color, float radius = 0.0f) &&
    {
        background_ = color;
        background_radius_ = radius;
        return std::move(*this);
    }
    // The stored flag: whether the children are clipped to the container's rectangle.
    [[nodiscard]] Container with_clip(bool clip = true) &&
    {
        clip_ = clip;
        return std::move(*this);
    }

    [[nodiscard]] bool stored_flag() const override { return clip_; }

private:
    void draw_background(DrawContext& ctx) const override;
    [[nodiscard]] bool clips_children() const override { return clip_; }

    std::optional<Color> background_;
    float background_radius_ = 0.0f;
    bool clip_ = false;
};

}  // namespace vorn_ui::widget::container

namespace vorn_ui {
using widget::container::Container;
}
