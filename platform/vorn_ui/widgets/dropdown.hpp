#pragma once
// Dropdown: one choice out of a list of texts. The field shows the chosen text (or the placeholder); clicking it,
// or Enter, Space, Alt+Down or Down while focused, opens the list, which is drawn above everything else (the window's
// overlay pass). While open, the list takes the pointer (a click outside closes it without reaching what lies
// below), Up/Down/Home/End/Page keys move the highlight, typing jumps to a choice (TypeAhead: the letters typed
// within a second of each other add up, "germ" lands on "German"; one letter typed again goes on to the next
// choice starting with it), Enter or Space chooses, Escape closes.
//
// Where the choice lives (any combination): a document key (text; written by the next sync after the user chose,
// followed otherwise), a state cell (from_state; published at once), a bound action (on_action: the choice queues
// an invocation with the chosen text).
//
//   vorn_ui::Dropdown("network.hotspot.band", {"Automatic", "2.4 GHz", "5 GHz"})
//       .with_key("network.hotspot.band").with_placeholder("Automatic")

#include "vorn_ui/actions/control_action.hpp"
#include "vorn_ui/widget.hpp"
#include "vorn_ui/widgets/bound_value.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn_ui::widget::dropdown {

// Type-ahead over a list of texts, as GTK and Qt lists have it: letters typed with pauses shorter than `pause`
// add up to a prefix, matched without regard to ASCII case from the highlighted choice on; a new prefix of one
// letter (or the same letter again and again) moves on to the next choice starting with it. Times come from the
// event (the loop's clock), so a test moves them by hand.
class TypeAhead {
public:
    static constexpr std::chrono::milliseconds pause{1000};

    // The choice to highlight after `character` was typed at `now`, none when nothing matches (the highlight
    // stays; what was typed is kept, so that a pause starts afresh).
    [[nodiscard]] std::optional<std::size_t> type(const std::vector<std::string>& choices,
                                                  std::optional<std::size_t> highlight, char32_t character,
                                                  Instant now);
    [[nodiscard]] const std::string& typed() const { return typed_; }
    void reset() { typed_.clear(), last_.reset(); }

private:
    std::string typed_;  // lower-cased UTF-8
    std::optional<Instant> last_;
};

class Dropdown final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::dropdown::Dropdown", "Dropdown")

    Dropdown() = default;
    // A drop-down with an id (answered by `label`; empty: "dropdown") and its choices.
    Dropdown(std::string id, std::vector<std::string> choices);
    [[nodiscard]] static Dropdown from_state(LocalState<std::string> cell, std::vector<std::string> choices);

    [[nodiscard]] Dropdown with_id(std::string id) &&;
    [[nodiscard]] Dropdown with_key(std::string key) &&;
    [[nodiscard]] Dropdown with_placeholder(std::string placeholder) &&;
    [[nodiscard]] Dropdown with_label(std::string label) &&;
    [[nodiscard]] Dropdown with_selected(std::string choice) &&;
    [[nodiscard]] Dropdown with_width(float width) &&;
    [[nodiscard]] Dropdown with_enabled(bool enabled) &&;
    [[nodiscard]] Dropdown on_action(vorn_actions::ActionBinding<std::string> binding) &&;
    [[nodiscard]] Dropdown on_change(std::function<void(const std::string&)> callback) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Dropdown>(std::move(*this)); }

    [[nodiscard]] const std::string& selected() const { return value_.value(); }
    [[nodiscard]] std::optional<std::size_t> selected_index() const;
    [[nodiscard]] const std::vector<std::string>& choices() const { return choices_; }
    [[nodiscard]] const std::string& id() const { return id_; }
    [[nodiscard]] const std::optional<std::string>& key() const { return value_.key(); }
    [[nodiscard]] bool is_open() const { return open_; }
    [[nodiscard]] std::optional<std::size_t> highlighted() const { return highlight_; }
    void set_choices(std::vector<std::string> choices);
    // A change by the program: shown, not written anywhere.
    void set_selected(std::string choice) { value_.set_quietly(std::move(choice)); }
    void set_enabled(bool enabled) { enabled_ = enabled; }
    void open();
    void close();
    // Chooses a choice as a user would; false when disabled or out of range.
    bool choose(std::size_t index);
    // The open list and the rectangle of one of its rows (from the last overlay pass; zero while closed).
    [[nodiscard]] Rect list_rect() const { return open_ ? list_ : Rect{}; }
    [[nodiscard]] Rect row_rect(std::size_t index) const;

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    [[nodiscard]] Size measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                               TextRenderer& text) const override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void draw_overlay(DrawContext& ctx, OverlayRecord& overlay) override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::optional<std::string_view> label() const override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] bool is_focusable() const override { return true; }
    void set_focus(bool focused) override;
    [[nodiscard]] bool is_focused() const override { return focused_; }
    [[nodiscard]] std::optional<Rect> ime_cursor_rect() const override;
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;
    bool perform_action(const Action& action, ActionCtx ctx) override;
    [[nodiscard]] bool is_enabled() const override { return enabled_ && (!action_ || action_->is_available()); }
    [[nodiscard]] std::optional<std::uint8_t> stored_code() const override { return std::uint8_t{0}; }
    std::optional<ControlInvocation> take_control_invocation() override;
    [[nodiscard]] std::vector<ControlActionBinding> control_action_bindings() const override;
    void refresh_control_action_availability(const ActionAvailability& availability) override;
    [[nodiscard]] bool wants_pointer_capture() const override { return open_; }
    [[nodiscard]] bool is_layout_dirty() const override { return rect_.is_zero(); }

private:
    void place_list(const Rect& viewport, double width);
    void move_highlight(std::ptrdiff_t delta);
    void reveal_highlight();
    bool handle_key(const KeyDown& key, Instant now);

    std::string id_;
    std::vector<std::string> choices_;
    std::string placeholder_;
    std::optional<std::string> label_;
    BoundValue<std::string> value_{std::string{}};
    float width_ = 0.0f;
    bool enabled_ = true;
    bool focused_ = false;
    bool hovered_ = false;
    bool open_ = false;
    bool press_opened_ = false;  // the list opened on this press: its release chooses nothing
    std::optional<std::size_t> highlight_;
    TypeAhead type_ahead_;
    std::size_t first_row_ = 0;  // the first row shown (long lists scroll)
    std::optional<Rect> stored_rect_;  // the open list, answered by ime_cursor_rect
    std::function<void(const std::string&)> on_change_;
    std::optional<ControlAction<std::string>> action_;
    Rect rect_{};
    Rect list_{};
    Rect viewport_{0.0, 0.0, 1280.0, 800.0};
    double scale_ = 1.0;
    double list_width_ = 0.0;
};

}  // namespace vorn_ui::widget::dropdown

namespace vorn_ui {
using widget::dropdown::Dropdown;
}
