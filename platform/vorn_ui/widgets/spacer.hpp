#pragma once
// Spacer: empty space. Flexible (takes the free space along its parent's main axis) or of a fixed size.

#include "vorn_ui/widget.hpp"

#include <cstdint>
#include <memory>

namespace vorn_ui::widget::spacer {

class Spacer final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::spacer::Spacer", "Spacer")

    // A flexible spacer (flex 1.0).
    Spacer() = default;
    [[nodiscard]] static Spacer flexible(float flex = 1.0f);
    // A spacer of `size` along both axes (style units), not shrinking.
    [[nodiscard]] static Spacer fixed(float size);
    // A fixed spacer of a size token: 0 → 4, 1 → 8, 2 → 12, 3 → 16, 4 → 24, 5 → 32, larger → 48.
    [[nodiscard]] static Spacer token(std::uint8_t size_token);
    [[nodiscard]] static float token_size(std::uint8_t size_token);

    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Spacer>(std::move(*this)); }

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] bool needs_redraw() const override { return false; }
    [[nodiscard]] bool is_layout_dirty() const override { return !layout_flag_; }
    [[nodiscard]] bool layout_needs_measure() const override { return is_layout_dirty(); }

    [[nodiscard]] bool is_flexible() const { return !size_; }

private:
    Rect rect_{};
    float flex_ = 1.0f;
    std::optional<float> size_;  // fixed size, style units
    bool layout_flag_ = false;   // never set by the program: a spacer always reports its layout dirty
};

}  // namespace vorn_ui::widget::spacer

namespace vorn_ui {
using widget::spacer::Spacer;
}
