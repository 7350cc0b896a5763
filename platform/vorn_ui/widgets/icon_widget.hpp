#pragma once
// IconWidget: one icon of the toolkit's set in a square box.
//
//   vorn_ui::IconWidget(vorn_ui::Icon::Display).with_size(34.0f).with_stroke(1.5f)

#include "vorn_ui/icons.hpp"
#include "vorn_ui/widget.hpp"

#include <memory>
#include <optional>

namespace vorn_ui::widget::icon {

class IconWidget final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::icon::IconWidget", "IconWidget")

    explicit IconWidget(Icon icon) : icon_(icon) {}
    explicit IconWidget(std::uint8_t code) : icon_(static_cast<Icon>(code)) {}

    [[nodiscard]] IconWidget with_size(float size) &&;
    [[nodiscard]] IconWidget with_stroke(float stroke) &&;
    // Default: the theme's text colour.
    [[nodiscard]] IconWidget with_color(Color color) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<IconWidget>(std::move(*this)); }

    [[nodiscard]] Icon icon() const { return icon_; }
    void set_icon(Icon icon) { icon_ = icon; }

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] bool is_layout_dirty() const override { return rect_.is_zero(); }

private:
    Icon icon_;
    float size_ = 20.0f;
    float stroke_ = 1.5f;
    std::optional<Color> color_;
    Rect rect_{};
};

}  // namespace vorn_ui::widget::icon

namespace vorn_ui {
using widget::icon::IconWidget;
}
