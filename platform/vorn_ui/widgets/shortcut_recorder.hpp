#pragma once
// ShortcutRecorder: shows a keyboard shortcut and records a new one. Activating it (a click, Enter or Space while
// focused) starts capturing: the next key with Ctrl, Alt or Super (or a function, media or brightness key, alone
// or with modifiers) becomes the shortcut; Backspace clears it (no shortcut); Escape, or losing the focus, stops
// capturing and keeps the old one. A plain letter without a modifier is not taken (it would steal typing).
//
// The recorder writes its text into its edit key of the page document on the next sync and otherwise shows what
// the key holds (the page writes the old text back when a shortcut is refused). Shortcut texts name the modifiers
// in the order Super, Ctrl, Alt, Shift and then the key, joined by "+": "Super+Shift+Left", "Ctrl+Alt+T", "F11".
//
//   vorn_ui::ShortcutRecorder("shortcuts.terminal", "shortcuts.terminal.edit", "Ctrl+Alt+T", "Ctrl+Alt+T")
//       .with_label("Open terminal")

#include "vorn_ui/widget.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vorn_ui::widget::shortcut_recorder {

// The shortcut text of a key press; none for a press that is no shortcut (a lone modifier, a plain letter).
[[nodiscard]] std::optional<std::string> chord_text(const KeyDown& key);

class ShortcutRecorder final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::shortcut_recorder::ShortcutRecorder", "ShortcutRecorder")

    // `id` is the label text (answered by `label`), `edit_key` the document key of the recorded text (empty: none),
    // `current` the shown shortcut, `default_chord` the shortcut it has by default (empty: none).
    ShortcutRecorder(std::string id, std::string edit_key, std::string current, std::string default_chord);

    // The accessible name (what the setting row says).
    [[nodiscard]] ShortcutRecorder with_label(std::string name) &&;
    [[nodiscard]] ShortcutRecorder with_unavailable(bool unavailable) &&;
    [[nodiscard]] ShortcutRecorder on_change(std::function<void(const std::string&)> callback) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<ShortcutRecorder>(std::move(*this)); }

    [[nodiscard]] const std::string& chord() const { return chord_; }
    [[nodiscard]] const std::string& default_chord() const { return default_; }
    [[nodiscard]] bool is_capturing() const { return capturing_; }
    [[nodiscard]] bool is_unavailable() const { return unavailable_; }
    void set_unavailable(bool unavailable) { unavailable_ = unavailable; }
    // A change by the program: shown, not written anywhere.
    void set_chord(std::string chord) { chord_ = std::move(chord); }
    void start_capture();
    void stop_capture() { capturing_ = false; }

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    [[nodiscard]] Size measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                               TextRenderer& text) const override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::optional<std::string_view> label() const override { return std::string_view(id_); }
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<std::uint8_t> hit_test(Point point) const override;
    [[nodiscard]] std::optional<std::string_view> value_text() const override;
    [[nodiscard]] bool is_focusable() const override { return true; }
    void set_focus(bool focused) override;
    [[nodiscard]] bool is_focused() const override { return focused_; }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;
    bool perform_action(const Action& action, ActionCtx ctx) override;
    void set_interaction_environment(InteractionEnv env) override { env_ = env; }
    void set_interaction_flag(std::uint8_t flag) override;
    [[nodiscard]] bool is_layout_dirty() const override { return rect_.is_zero(); }
    [[nodiscard]] const InteractionEnv& interaction_environment() const { return env_; }

private:
    void record(std::string chord);
    [[nodiscard]] std::string shown_text() const;

    std::string id_;
    std::optional<std::string> edit_key_;
    std::string chord_;
    std::string default_;
    std::optional<std::string> name_;
    bool focused_ = false;
    bool capturing_ = false;
    bool unavailable_ = false;
    bool hovered_ = false;
    bool pressed_ = false;
    bool pending_ = false;  // a recorded text waits for the document
    std::uint8_t interaction_flag_ = 0;
    InteractionEnv env_{};
    std::function<void(const std::string&)> on_change_;
    Rect rect_{};
    double scale_ = 1.0;
};

}  // namespace vorn_ui::widget::shortcut_recorder

namespace vorn_ui {
using widget::shortcut_recorder::ShortcutRecorder;
}
