#pragma once
// TextInput: a one-line text field with a caret, selection, clipboard, undo and an optional length limit.
//
// Where the text lives (any combination):
//   - a document key (with_change_path): a Text object of the page document, written by the field's next sync (the
//     field's edits are spliced in, so only what the user typed changes);
//   - a state cell (from_state): published into at once on every edit; a newer publication replaces the text;
//   - a shared locked buffer (with_external_buffer): typing writes into the buffer, never into the document; the
//     page reads a copy when it needs the text and wipes it after use. Meant for typed secrets.
//
// Masked kinds (password, pin, or masked()): the field draws one bullet per character, and its text is kept in
// locked memory (sodium_malloc), wiped with sodium_memzero whenever it changes and when the field goes. A masked
// field never gives its text away: text_review answers the bullets, get_state and the accessibility value
// answer nothing, it copies nothing to the clipboard (cut and copy do nothing), keeps no undo history, never
// writes a document key (logged once) and never queues an action with the text.
//
// Keys (while focused): Left/Right (Ctrl: by word), Home/End, Shift extends the selection, Backspace/Delete
// (Ctrl: by word), Ctrl+A, Ctrl+C/X/V (and Ctrl/Shift+Insert, Shift+Delete), Ctrl+Z undo, Ctrl+Shift+Z and
// Ctrl+Y redo, Enter submits (on_submit; a bound action gets the text), Escape clears a selection (a search field
// with no selection is cleared). The pointer places the caret, drags a selection, double click selects a word.
//
//   vorn_ui::TextInput::from_state(search_text).with_kind(vorn_ui::text_input_kind::search)
//       .with_id("settings.search").with_placeholder("Search settings").with_text_size(13.0f)
//   vorn_ui::TextInput("network.hotspot.ssid").with_change_path("network.hotspot.ssid")
//       .with_placeholder("Hotspot name")
//   vorn_ui::TextInput("network.hotspot.password").with_kind(vorn_ui::text_input_kind::password)
//       .with_external_buffer(hotspot_password).with_placeholder("Password · at least 8 characters")

#include "vorn_ui/actions/control_action.hpp"
#include "vorn_ui/locked_text.hpp"
#include "vorn_ui/state.hpp"
#include "vorn_ui/widget.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn_ui::widget::text_input {

// Input kind codes.
namespace text_input_kind {
inline constexpr std::uint8_t text = 0;
inline constexpr std::uint8_t name = 1;      // a person's or a thing's name
inline constexpr std::uint8_t search = 2;    // a search field: a magnifier mark, Escape clears it
inline constexpr std::uint8_t username = 3;  // a login name or other identifier
inline constexpr std::uint8_t email = 4;
inline constexpr std::uint8_t url = 5;
inline constexpr std::uint8_t number = 6;
inline constexpr std::uint8_t pin = 8;       // masked
inline constexpr std::uint8_t password = 9;  // masked
}  // namespace text_input_kind

[[nodiscard]] constexpr bool is_masked_kind(std::uint8_t kind)
{
    return kind == text_input_kind::pin || kind == text_input_kind::password;
}

// The longest text a field takes unless told otherwise (characters).
inline constexpr std::size_t default_max_chars = 4096;

class TextInput final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::text_input::TextInput", "TextInput")

    TextInput();
    // A field with an id (answered by `label`; empty: "text_input").
    explicit TextInput(std::string id);
    [[nodiscard]] static TextInput from_state(LocalState<std::string> cell);
    ~TextInput() override;
    TextInput(TextInput&&) noexcept;
    TextInput& operator=(TextInput&&) noexcept;

    [[nodiscard]] TextInput with_id(std::string id) &&;
    [[nodiscard]] TextInput with_kind(std::uint8_t kind) &&;
    [[nodiscard]] TextInput masked() &&;
    [[nodiscard]] TextInput with_placeholder(std::string placeholder) &&;
    // The accessible name (else the placeholder, else the id).
    [[nodiscard]] TextInput with_label(std::string label) &&;
    [[nodiscard]] TextInput with_text_size(float size) &&;
    [[nodiscard]] TextInput with_width(float width) &&;
    [[nodiscard]] TextInput with_max_length(std::size_t chars) &&;
    // The text at start (also written to the external buffer, the cell or the document like an edit would not be:
    // it is only shown).
    [[nodiscard]] TextInput with_initial_value(std::string_view text) &&;
    // The document key of the field's Text object.
    [[nodiscard]] TextInput with_change_path(std::string key) &&;
    [[nodiscard]] TextInput with_external_buffer(SharedLockedText buffer) &&;
    [[nodiscard]] TextInput with_enabled(bool enabled) &&;
    [[nodiscard]] TextInput on_change(std::function<void(std::string_view)> callback) &&;
    [[nodiscard]] TextInput on_submit(std::function<void(std::string_view)> callback) &&;
    [[nodiscard]] TextInput on_action(vorn_actions::ActionBinding<std::string> binding) &&;
    // The stored text-input setting answered by accepts_text_input (true unless changed).
    [[nodiscard]] TextInput with_text_input(bool accepts) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<TextInput>(std::move(*this)); }

    // The text shown (for a masked field: its text; keep such a view short-lived and never copy it).
    [[nodiscard]] std::string_view text() const;
    // Replaces the text as the program (no undo step; written to the buffer, the cell and the document like an
    // edit).
    void set_text(std::string_view text);
    [[nodiscard]] bool is_masked() const;
    [[nodiscard]] std::uint8_t kind() const { return kind_; }
    [[nodiscard]] const std::string& id() const { return id_; }
    [[nodiscard]] const std::string& placeholder() const { return placeholder_; }
    [[nodiscard]] const std::optional<std::string>& change_path() const { return change_path_; }
    [[nodiscard]] std::size_t max_length() const { return max_chars_; }
    // Caret and selection anchor (byte offsets); the selection is between them.
    [[nodiscard]] std::size_t caret() const { return caret_; }
    [[nodiscard]] std::size_t anchor() const { return anchor_; }
    [[nodiscard]] bool has_selection() const { return caret_ != anchor_; }
    void select(std::size_t anchor, std::size_t caret);
    void select_all() { select(0, text().size()); }
    [[nodiscard]] bool can_undo() const { return !undo_.empty(); }
    [[nodiscard]] bool can_redo() const { return !redo_.empty(); }
    bool undo();
    bool redo();
    void set_enabled(bool enabled);
    // Inserts text at the caret as typing would (replacing the selection, cut to the length limit).
    bool insert_text(std::string_view typed);

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
    [[nodiscard]] std::optional<std::uint8_t> hit_test(Point point) const override;
    [[nodiscard]] bool is_focusable() const override;
    void set_focus(bool focused) override;
    [[nodiscard]] bool is_focused() const override { return focused_; }
    [[nodiscard]] bool accepts_text_input() const override { return accepts_text_input_; }
    [[nodiscard]] std::optional<Rect> ime_cursor_rect() const override;
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;
    bool perform_action(const Action& action, ActionCtx ctx) override;
    [[nodiscard]] std::optional<std::uint8_t> stored_code() const override { return kind_; }
    [[nodiscard]] bool needs_commit() const override { return uncommitted_; }
    std::optional<ControlInvocation> take_control_invocation() override;
    [[nodiscard]] std::vector<ControlActionBinding> control_action_bindings() const override;
    void refresh_control_action_availability(const ActionAvailability& availability) override;
    void on_commit() override;
    [[nodiscard]] std::optional<std::string> get_state() const override;
    void set_state(std::string_view state) override;
    [[nodiscard]] std::optional<TextReview> text_review() const override;
    void set_interaction_environment(InteractionEnv env) override;
    [[nodiscard]] bool wants_pointer_capture() const override { return dragging_; }
    [[nodiscard]] bool layout_needs_measure() const override;
    [[nodiscard]] std::optional<nlohmann::ordered_json> state_snapshot(const page_doc::Document& doc) const override;

private:
    struct Store;
    struct UndoStep {
        std::string text;
        std::size_t caret = 0;
        std::size_t anchor = 0;
    };
    enum class EditKind : std::uint8_t { Typing, Deleting, Other };

    void replace_range(std::size_t first, std::size_t last, std::string_view with, EditKind kind);
    void after_change(bool by_user);
    void push_undo(EditKind kind);
    void move_caret(std::size_t to, bool extend);
    bool handle_key(const KeyDown& key, DispatchContext& ctx);
    void copy_selection() const;
    void paste();
    void submit();
    [[nodiscard]] std::size_t index_at(double x) const;
    [[nodiscard]] Rect text_box() const;
    [[nodiscard]] std::string display_text() const;
    [[nodiscard]] std::size_t display_offset(std::size_t byte) const;

    std::unique_ptr<Store> store_;
    std::string id_;
    std::uint8_t kind_ = text_input_kind::text;
    bool force_masked_ = false;
    std::string placeholder_;
    std::optional<std::string> label_;
    float text_size_ = 13.0f;
    float width_ = 0.0f;
    std::size_t max_chars_ = default_max_chars;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
    std::string preedit_;
    bool enabled_ = true;
    bool focused_ = false;
    bool focus_gained_ = false;  // the focus-gained marker
    bool hovered_ = false;
    bool dragging_ = false;      // the pointer-capture flag
    bool interacting_ = false;   // the transient interaction flag
    bool accepts_text_input_ = true;
    bool measure_text_ = true;   // the two measure flags: the text and the look changed since the last layout
    bool measure_look_ = true;
    bool uncommitted_ = false;   // the document holds an edit not yet committed
    std::uint32_t commit_marker_ = 0;
    std::uint64_t drag_origin_ = 0;  // the two values cleared on focus loss: where a drag started
    std::uint64_t click_count_ = 0;
    InteractionEnv env_{};

    std::optional<std::string> change_path_;
    bool doc_pending_ = false;  // an edit waits for the document
    bool refused_doc_logged_ = false;
    std::optional<LocalState<std::string>> cell_;
    std::uint64_t cell_version_ = 0;
    SharedLockedText buffer_;
    std::uint64_t buffer_version_ = 0;
    std::optional<ControlAction<std::string>> action_;
    bool changed_since_emit_ = false;
    std::function<void(std::string_view)> on_change_;
    std::function<void(std::string_view)> on_submit_;

    std::vector<UndoStep> undo_;
    std::vector<UndoStep> redo_;
    EditKind last_edit_ = EditKind::Other;

    Rect rect_{};
    float scale_ = 1.0f;
    // Caret positions of the last draw (x offset from the text start, per character boundary), for the pointer.
    mutable std::vector<float> boundary_x_;
    mutable std::vector<std::size_t> boundary_byte_;
    mutable std::uint64_t boundaries_of_ = ~std::uint64_t{0};
    mutable double scroll_x_ = 0.0;
    std::uint64_t revision_ = 0;
};

}  // namespace vorn_ui::widget::text_input

namespace vorn_ui {
using widget::text_input::TextInput;
namespace text_input_kind = widget::text_input::text_input_kind;
}  // namespace vorn_ui
