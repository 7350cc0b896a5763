#pragma once
// Button: a push button with a caption. Pressing it (a click, Enter or Space while focused, or an assistive tool's
// activation) does what it is bound to, any of:
//   - a document key: the button writes true into it on its next sync (the page reads and clears the key);
//   - a bound action (on_action): the press queues a control invocation of the action;
//   - bind_action(handler): the button publishes its own control resource "vorn.control:<id>" with the action
//     "invoke", and the handler runs when that action arrives (the press travels as any bound control's);
//   - on_press(callback): a plain callback, run at once on the UI thread.
//
//   vorn_ui::Button("settings.network.refresh", "Refresh", "network.refresh")
//   vorn_ui::Button("about.identity-backup.button", "Create encrypted backup…").with_size(236.0f, 40.0f)
//       .bind_action([] { open_backup_tool(); })
//   vorn_ui::Button("Remove…").with_style(vorn_ui::button_style::destructive)
//   vorn_ui::Button("input.source.1.up", "↑").with_accessible_label("Move input source up")
//       .with_accessible_description("German")

#include "vorn_ui/actions/control_action.hpp"
#include "vorn_ui/widget.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vorn_ui::widget::button {

// Button style codes.
namespace button_style {
inline constexpr std::uint8_t standard = 0;     // raised surface
inline constexpr std::uint8_t primary = 1;      // accent fill: the suggested action of a form
inline constexpr std::uint8_t destructive = 2;  // danger tone: removes or erases something
inline constexpr std::uint8_t flat = 3;         // no fill until hovered (links, quiet actions)
}  // namespace button_style

class Button final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::button::Button", "Button")

    // A button with a caption only (its id is empty).
    explicit Button(std::string caption);
    // A button with a control id and a caption, and the document key it sets to true when pressed (empty: none).
    Button(std::string id, std::string caption, std::string key = {});

    [[nodiscard]] Button with_style(std::uint8_t style) &&;
    // A fixed size in style units (0: from the caption).
    [[nodiscard]] Button with_size(float width, float height) &&;
    [[nodiscard]] Button with_width(float width) &&;
    [[nodiscard]] Button with_enabled(bool enabled) &&;
    [[nodiscard]] Button disabled() && { return std::move(*this).with_enabled(false); }
    // The value text answered by value_text (what the button currently shows as its value, e.g. a chosen file).
    [[nodiscard]] Button with_value_text(std::string text) &&;
    [[nodiscard]] Button with_key(std::string key) &&;
    // The name assistive tools speak, for a caption that does not say what the button does (an arrow, an icon);
    // the caption stays the button's label. Empty: the caption is the name.
    [[nodiscard]] Button with_accessible_label(std::string label) &&;
    // A longer text assistive tools read after the name (e.g. which row the button acts on). Empty: none.
    [[nodiscard]] Button with_accessible_description(std::string description) &&;
    [[nodiscard]] Button on_press(std::function<void()> callback) &&;
    [[nodiscard]] Button on_action(vorn_actions::ActionBinding<vorn_actions::Unit> binding) &&;
    [[nodiscard]] Button bind_action(std::function<void()> handler) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Button>(std::move(*this)); }

    void set_caption(std::string caption);
    void set_enabled(bool enabled);
    void set_value_text(std::optional<std::string> text);
    void set_action(vorn_actions::ActionBinding<vorn_actions::Unit> binding);
    void set_handler(std::function<void()> handler);

    [[nodiscard]] const std::string& caption() const { return caption_; }
    [[nodiscard]] const std::string& id() const { return id_; }
    [[nodiscard]] const std::optional<std::string>& key() const { return key_; }
    [[nodiscard]] const std::optional<std::string>& accessible_label() const { return accessible_label_; }
    [[nodiscard]] const std::optional<std::string>& accessible_description() const { return accessible_description_; }
    [[nodiscard]] std::uint8_t style() const { return style_; }
    [[nodiscard]] bool is_pressed() const { return pressed_; }
    [[nodiscard]] bool is_hovered() const { return hovered_; }
    // Presses that have not yet reached the document.
    [[nodiscard]] bool press_pending() const { return press_pending_; }

    // Presses the button as a user would; false when it is disabled.
    bool activate();

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    [[nodiscard]] Size measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                               TextRenderer& text) const override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::optional<std::string_view> label() const override { return std::string_view(caption_); }
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<std::uint8_t> hit_test(Point point) const override;
    [[nodiscard]] std::optional<std::string_view> value_text() const override;
    [[nodiscard]] bool is_focusable() const override { return true; }
    void set_focus(bool focused) override;
    [[nodiscard]] bool is_focused() const override { return focused_; }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;
    bool perform_action(const Action& action, ActionCtx ctx) override;
    [[nodiscard]] bool is_enabled() const override;
    void set_interaction_environment(InteractionEnv env) override { env_ = env; }
    std::optional<ControlInvocation> take_control_invocation() override;
    [[nodiscard]] std::vector<ControlActionBinding> control_action_bindings() const override;
    [[nodiscard]] bool has_action_control_bindings() const override { return action_.has_value(); }
    void refresh_control_action_availability(const ActionAvailability& availability) override;
    [[nodiscard]] std::vector<vorn_actions::Resource> resources(const page_doc::Document& doc) const override;
    [[nodiscard]] std::unordered_set<std::string> resource_operation_handlers() const override;
    ResourceOperationResult invoke_resource_operation_v2(OperationClass op_class, std::string_view kind,
                                                         std::string_view payload, page_doc::Document& doc) override;
    [[nodiscard]] bool needs_redraw() const override { return content_changed_ || look_changed_; }
    void mark_drawn() override;
    [[nodiscard]] bool is_layout_dirty() const override { return rect_.is_zero(); }

private:
    void changed_look() { look_changed_ = true; }

    std::string id_;
    std::string caption_;
    std::optional<std::string> key_;
    std::optional<std::string> value_text_;
    std::optional<std::string> accessible_label_;
    std::optional<std::string> accessible_description_;
    std::uint8_t style_ = button_style::standard;
    float width_ = 0.0f;
    float height_ = 0.0f;
    bool enabled_ = true;
    bool focused_ = false;
    bool hovered_ = false;
    bool pressed_ = false;
    bool press_pending_ = false;
    InteractionEnv env_{};
    std::function<void()> on_press_;
    std::optional<ControlAction<vorn_actions::Unit>> action_;
    std::optional<ControlInvokeTarget> invoke_;
    Rect rect_{};
    bool content_changed_ = true;  // the two redraw flags
    bool look_changed_ = true;
};

}  // namespace vorn_ui::widget::button

namespace vorn_ui {
using widget::button::Button;
namespace button_style = widget::button::button_style;
}  // namespace vorn_ui
