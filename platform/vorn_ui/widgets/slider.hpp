#pragma once
// Slider: a value in a range, chosen by dragging the handle, clicking the track, or the keys Left/Down and
// Right/Up (one step), Page Up/Page Down (ten steps), Home/End (the ends) while focused.
//
// Where the value lives (any combination): a document key (the slider writes the user's change into it on its next
// sync and follows the key otherwise), a state cell (from_state; published at once), a bound action (on_action: a
// key change queues an invocation {"value": v} at once, a drag one when the handle is let go).
//
//   vorn_ui::Slider("settings.display.brightness", "display.brightness.edit")   // 0..1
//   vorn_ui::Slider::from_state(volume).with_range(0.0, 150.0).with_step(1.0).with_label("Volume")

#include "vorn_ui/actions/control_action.hpp"
#include "vorn_ui/widget.hpp"
#include "vorn_ui/widgets/bound_value.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vorn_ui::widget::slider {

class Slider final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::slider::Slider", "Slider")

    Slider() = default;
    // A slider with a control id bound to a document key (empty key: none); range 0..1.
    Slider(std::string control_id, std::string key);
    [[nodiscard]] static Slider from_state(LocalState<double> cell);

    [[nodiscard]] Slider with_id(std::string id) &&;
    [[nodiscard]] Slider with_label(std::string label) &&;
    [[nodiscard]] Slider with_range(double min, double max) &&;
    // The key step (0: a hundredth of the range).
    [[nodiscard]] Slider with_step(double step) &&;
    [[nodiscard]] Slider with_value(double value) &&;
    [[nodiscard]] Slider with_width(float width) &&;
    [[nodiscard]] Slider with_enabled(bool enabled) &&;
    // How the value reads for assistive tools (default: a percentage of the range).
    [[nodiscard]] Slider with_value_format(std::function<std::string(double)> format) &&;
    [[nodiscard]] Slider on_action(vorn_actions::ActionBinding<double> binding) &&;
    [[nodiscard]] Slider on_change(std::function<void(double)> callback) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Slider>(std::move(*this)); }

    [[nodiscard]] double value() const { return value_.value(); }
    [[nodiscard]] double min() const { return min_; }
    [[nodiscard]] double max() const { return max_; }
    [[nodiscard]] double step() const;
    [[nodiscard]] const std::optional<std::string>& key() const { return value_.key(); }
    // A change by the program: shown (clamped), not written anywhere.
    void set_value(double value);
    void set_enabled(bool enabled) { enabled_ = enabled; }
    // Changes the value as a user would (clamped to the range); false when disabled or unchanged.
    bool change_to(double value, bool emit_now = true);
    [[nodiscard]] std::string value_description() const;
    // The track and the handle's centre, from the last layout.
    [[nodiscard]] Rect track_rect() const;
    [[nodiscard]] Point handle_centre() const;

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::optional<std::string_view> label() const override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] bool is_focusable() const override { return true; }
    void set_focus(bool focused) override { focused_ = focused; }
    [[nodiscard]] bool is_focused() const override { return focused_; }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;
    bool perform_action(const Action& action, ActionCtx ctx) override;
    [[nodiscard]] bool is_enabled() const override { return enabled_ && (!action_ || action_->is_available()); }
    void set_interaction_environment(InteractionEnv env) override;
    std::optional<ControlInvocation> take_control_invocation() override;
    [[nodiscard]] std::vector<ControlActionBinding> control_action_bindings() const override;
    void refresh_control_action_availability(const ActionAvailability& availability) override;
    [[nodiscard]] bool wants_pointer_capture() const override { return capturing_; }
    [[nodiscard]] bool is_layout_dirty() const override { return rect_.is_zero(); }

private:
    [[nodiscard]] double clamp(double value) const;
    [[nodiscard]] double value_at(double x) const;
    void emit();

    std::string control_id_;
    std::optional<std::string> id_;
    std::optional<std::string> label_;
    BoundValue<double> value_{0.0};
    double min_ = 0.0;
    double max_ = 1.0;
    double step_ = 0.0;
    float width_ = 0.0f;
    bool enabled_ = true;
    bool focused_ = false;
    bool hovered_ = false;
    bool capturing_ = false;    // the pointer-capture flag
    bool interacting_ = false;  // the transient interaction flag
    bool drag_changed_ = false;
    InteractionEnv env_{};
    std::function<std::string(double)> format_;
    std::function<void(double)> on_change_;
    std::optional<ControlAction<double>> action_;
    Rect rect_{};
    double scale_ = 1.0;
};

}  // namespace vorn_ui::widget::slider

namespace vorn_ui {
using widget::slider::Slider;
}
