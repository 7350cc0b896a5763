#pragma once
// Toggle: an on/off switch. Clicking it, Enter or Space while focused, or an assistive tool's activation flips it.
//
// Where the value lives (any combination):
//   - a document key: the toggle shows the key's boolean and writes the user's change into it on its next sync;
//   - a state cell (from_state): shown from the cell, published into it at once;
//   - a bound action (on_action): every user change queues an invocation {"value": on}.
//
//   vorn_ui::Toggle("settings.display.auto_brightness", "display.auto_brightness.edit").with_id("display.auto")
//   vorn_ui::Toggle::from_state(cell).with_label("Reduce motion")

#include "vorn_ui/actions/control_action.hpp"
#include "vorn_ui/widget.hpp"
#include "vorn_ui/widgets/bound_value.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vorn_ui::widget::toggle {

class Toggle final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::toggle::Toggle", "Toggle")

    Toggle() = default;
    // A toggle with a control id bound to a document key (empty key: none).
    Toggle(std::string control_id, std::string key);
    [[nodiscard]] static Toggle from_state(LocalState<bool> cell);

    // The widget id answered by `label` (else "toggle").
    [[nodiscard]] Toggle with_id(std::string id) &&;
    // The accessible name (what the setting row says next to it).
    [[nodiscard]] Toggle with_label(std::string label) &&;
    [[nodiscard]] Toggle with_value(bool on) &&;
    [[nodiscard]] Toggle with_enabled(bool enabled) &&;
    [[nodiscard]] Toggle on_action(vorn_actions::ActionBinding<bool> binding) &&;
    [[nodiscard]] Toggle on_change(std::function<void(bool)> callback) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Toggle>(std::move(*this)); }

    [[nodiscard]] bool value() const { return value_.value(); }
    [[nodiscard]] const std::string& control_id() const { return control_id_; }
    [[nodiscard]] const std::optional<std::string>& key() const { return value_.key(); }
    // A change by the program: shown, not written anywhere.
    void set_value(bool on);
    void set_enabled(bool enabled);
    void set_action(vorn_actions::ActionBinding<bool> binding) { action_.emplace(std::move(binding)); }
    // Flips the toggle as a user would; false when it is disabled.
    bool flip();

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
    [[nodiscard]] bool is_layout_dirty() const override { return rect_.is_zero(); }
    // The switch's track inside the widget's rectangle.
    [[nodiscard]] Rect track_rect() const;

private:
    std::string control_id_;
    std::optional<std::string> id_;
    std::optional<std::string> label_;
    BoundValue<bool> value_{false};
    bool enabled_ = true;
    bool focused_ = false;
    bool hovered_ = false;
    bool pressed_ = false;
    bool interacting_ = false;  // the transient interaction flag
    InteractionEnv env_{};
    std::function<void(bool)> on_change_;
    std::optional<ControlAction<bool>> action_;
    Rect rect_{};
};

}  // namespace vorn_ui::widget::toggle

namespace vorn_ui {
using widget::toggle::Toggle;
}
