#pragma once
// ProgressBar: a track with a filled part (a fraction 0..1), or an indeterminate bar whose segment sweeps along
// the track (still, when the theme asks for reduced motion). An optional label stands above the track, with the
// percentage at its end for a determinate bar.
//
//   vorn_ui::ProgressBar(0.42).with_label("Downloading model")
//   vorn_ui::ProgressBar::indeterminate().with_label("Preparing accelerator support")

#include "vorn_ui/widget.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vorn_ui::widget::progress_bar {

class ProgressBar final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::progress_bar::ProgressBar", "ProgressBar")

    explicit ProgressBar(double fraction = 0.0);
    [[nodiscard]] static ProgressBar indeterminate();

    [[nodiscard]] ProgressBar with_label(std::string_view label) &&;
    [[nodiscard]] ProgressBar with_label_owned(std::string label) &&;
    [[nodiscard]] ProgressBar with_width(float width) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<ProgressBar>(std::move(*this)); }

    void set_fraction(double fraction);
    void set_indeterminate();
    [[nodiscard]] std::optional<double> fraction() const { return fraction_; }
    [[nodiscard]] const std::string& label_text() const { return label_; }
    [[nodiscard]] bool is_animating() const { return animating_; }

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    [[nodiscard]] Size measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                               TextRenderer& text) const override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;
    [[nodiscard]] bool needs_animation_frame() const override { return animating_ && !animation_suppressed_; }
    [[nodiscard]] bool needs_redraw() const override
    {
        return repaint_pending_ || (animating_ && !animation_suppressed_);
    }
    void mark_drawn() override { repaint_pending_ = false; }
    [[nodiscard]] bool is_layout_dirty() const override { return rect_.is_zero(); }

private:
    std::optional<double> fraction_;  // none: indeterminate
    std::string label_;
    std::optional<float> width_;
    Rect rect_{};
    bool animating_ = false;
    bool repaint_pending_ = true;
    bool animation_suppressed_ = false;  // reduced motion
    Instant epoch_ = std::chrono::steady_clock::now();
};

}  // namespace vorn_ui::widget::progress_bar

namespace vorn_ui {
using widget::progress_bar::ProgressBar;
}
