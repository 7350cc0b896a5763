#pragma once
// Value records that travel through the Widget interface: accessibility nodes, actions, control bindings,
// collected items and the small pass-through values of the toolkit's hooks.

#include "vorn_actions/address.hpp"
#include "vorn_ui/geometry.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <variant>
#include <vector>

namespace vorn_ui {

class Widget;

// ---- Pass-through values ------------------------------------------------------------------------------------------

// A value of two machine words that the defaults hand on unread (visit and notice arguments, the extra argument of
// `perform_semantic_action` and of `poll_resource_operation`).
struct WordPair {
    std::uintptr_t first = 0;
    std::uintptr_t second = 0;
    friend constexpr bool operator==(const WordPair&, const WordPair&) = default;
};

// The context the toolkit passes with an action (two words). Only a widget that acts on it reads it.
using ActionCtx = WordPair;

// The interaction environment: a flag byte (bit 0 meaningful) and four further bytes.
struct InteractionEnv {
    std::uint8_t flags = 0;
    std::array<std::uint8_t, 4> bytes{};
    friend constexpr bool operator==(const InteractionEnv&, const InteractionEnv&) = default;
};

// The record `query_descendants` lends to the whole walk. It counts as finished when `value` is present (non-zero)
// and bit 0 of `flags` is set; a child may finish it while answering.
struct QueryRecord {
    std::uintptr_t value = 0;
    std::uint8_t flags = 0;
    std::uint32_t kind = 0;
    std::string text;

    [[nodiscard]] constexpr bool finished() const { return value != 0 && (flags & 1U) != 0; }
};

struct QueryAnswer {
    std::uint32_t code = 0;
    std::string text;
    friend bool operator==(const QueryAnswer&, const QueryAnswer&) = default;
};

// A reference to an object "as any type": the caller tests for the type it wants and reaches the object.
struct AnyRef {
    const std::type_info* type = nullptr;
    void* object = nullptr;

    template <class T>
    static AnyRef to(T& object)
    {
        return {&typeid(T), static_cast<void*>(&object)};
    }
    template <class T>
    [[nodiscard]] T* get() const
    {
        return type != nullptr && *type == typeid(T) ? static_cast<T*>(object) : nullptr;
    }
};

// Records of toolkit hooks that no widget of this program fills; they stand for nothing.
struct ReservedRecord {
    friend constexpr bool operator==(const ReservedRecord&, const ReservedRecord&) = default;
};
struct ReservedValue {
    std::uint64_t value = 0;
    friend constexpr bool operator==(const ReservedValue&, const ReservedValue&) = default;
};
struct LayoutExtension {
    friend constexpr bool operator==(const LayoutExtension&, const LayoutExtension&) = default;
};
struct SizingExtension {
    friend constexpr bool operator==(const SizingExtension&, const SizingExtension&) = default;
};
// Opaque platform values answered by some toolkit widgets (`presence_key`, `permission_scope`).
struct PresenceKey {
    std::string key;
    friend bool operator==(const PresenceKey&, const PresenceKey&) = default;
};
struct PermissionScope {
    std::string scope;
    friend bool operator==(const PermissionScope&, const PermissionScope&) = default;
};

// Four 64-bit words answered by `first_descendant_region`.
using RegionWords = std::array<std::uint64_t, 4>;

// The record `draw_overlay` hands to each child as its own copy.
struct OverlayRecord {
    Rect viewport{};
    double offset_x = 0.0;
    double offset_y = 0.0;
    std::uint32_t layer = 0;
    friend constexpr bool operator==(const OverlayRecord&, const OverlayRecord&) = default;
};

// The message value of `accept_message`: none, one text, another form with one text, or two texts.
struct MessageText {
    std::string text;
};
struct MessageNotice {
    std::string text;
};
struct MessagePair {
    std::string first;
    std::string second;
};
using ToolkitMessage = std::variant<std::monostate, MessageText, MessageNotice, MessagePair>;

// ---- Events, focus and text input ---------------------------------------------------------------------------------

// Hit codes answered by `hit_test`.
inline constexpr std::uint8_t hit_code_control = 3;     // over a clickable control
inline constexpr std::uint8_t hit_code_text_field = 8;  // over a text field that accepts input

// The toolkit's action value. The program's own widgets act on `Activate` (the default activation) and, the time-zone
// map only, on `SetValue`, which carries a text.
struct Action {
    enum class Kind : std::uint8_t {
        Activate,
        Focus,
        Blur,
        Increment,
        Decrement,
        ScrollIntoView,
        ShowContextMenu,
        SetValue,  // carries `text`
        SetNumericValue,  // carries `number`
        Expand,
        Collapse,
        Dismiss,
    };
    Kind kind = Kind::Activate;
    std::string text;
    double number = 0.0;

    static Action activate() { return {}; }
    static Action set_value(std::string value) { return {Kind::SetValue, std::move(value), 0.0}; }
    friend bool operator==(const Action&, const Action&) = default;
};

// The caret position (a byte offset) and the text of a text field.
struct TextReview {
    std::uint64_t caret = 0;
    std::string text;
    friend bool operator==(const TextReview&, const TextReview&) = default;
};

// The answer of `owned_value_text`: the widget's rectangle and a copy of its value text.
struct ValueTextHit {
    Rect rect;
    std::string text;
    friend bool operator==(const ValueTextHit&, const ValueTextHit&) = default;
};

// ---- Control bindings ---------------------------------------------------------------------------------------------

// What a control binding refers to. Only `Action` carries an action address; the others carry a text or nothing.
struct ControlBindingTarget {
    enum class Kind : std::uint8_t { Action, DocumentKey, Command, Link, Inert };
    Kind kind = Kind::Inert;
    vorn_actions::ActionAddress address;  // Action only
    std::string text;                     // DocumentKey, Command, Link

    static ControlBindingTarget action(vorn_actions::ActionAddress address)
    {
        return {Kind::Action, std::move(address), {}};
    }
    static ControlBindingTarget with_text(Kind kind, std::string text) { return {kind, {}, std::move(text)}; }
    [[nodiscard]] bool is_action() const { return kind == Kind::Action; }
    friend bool operator==(const ControlBindingTarget&, const ControlBindingTarget&) = default;
};

struct ControlActionBinding {
    std::string key;
    ControlBindingTarget target;
    friend bool operator==(const ControlActionBinding&, const ControlActionBinding&) = default;
};

// Answers whether a bound action is currently published (passed to `refresh_control_action_availability`).
class ActionAvailability {
public:
    virtual ~ActionAvailability() = default;
    [[nodiscard]] virtual bool is_available(const vorn_actions::ActionAddress& address) const = 0;

protected:
    ActionAvailability() = default;
    ActionAvailability(const ActionAvailability&) = default;
    ActionAvailability& operator=(const ActionAvailability&) = default;
};

// ---- Accessibility ------------------------------------------------------------------------------------------------

// The accessibility node a widget describes itself with. Setters take the node by value and return it.
struct AccessNode {
    std::uint8_t role = 0;  // the toolkit's role code (2 application, 20 navigation row, ...)
    std::optional<std::uint64_t> numeric_id;
    std::optional<std::string> detail;
    std::optional<std::string> id;
    std::optional<std::string> label;
    std::optional<std::string> description;
    std::optional<std::string> value;
    bool focused = false;
    bool selected = false;
    bool current = false;  // the second selection field
    bool disabled = false;
    Rect bounds{};
    // The actions the node offers; `semantic_action_bindings` hands them out.
    std::vector<ControlActionBinding> bindings;
    // Further states and the actions an assistive tool may perform (vorn_ui/access.hpp names the role codes).
    std::optional<bool> checked;   // toggles: on or off
    std::optional<bool> expanded;  // drop-downs: open or closed
    std::vector<Action::Kind> actions;

    explicit AccessNode(std::uint8_t role_code = 0) : role(role_code) {}

    [[nodiscard]] AccessNode with_label(std::string_view text) &&;
    [[nodiscard]] AccessNode with_description(std::string_view text) &&;
    [[nodiscard]] AccessNode with_detail(std::string_view text) &&;
    [[nodiscard]] AccessNode with_value(std::string text) &&;
    // Sets the id text, the detail (a copy of the id) and the numeric id (64-bit FNV-1a of the id's bytes followed
    // by one 0xFF byte).
    [[nodiscard]] AccessNode with_id(std::string id_text) &&;
    [[nodiscard]] AccessNode with_binding(ControlActionBinding binding) &&;
    [[nodiscard]] AccessNode with_bounds(const Rect& rect) &&;
    [[nodiscard]] AccessNode with_action(Action::Kind kind) &&;

    friend bool operator==(const AccessNode&, const AccessNode&) = default;
};

// The numeric accessibility id of an id text.
[[nodiscard]] std::uint64_t access_numeric_id(std::string_view id_text);

// The control bindings derived from a widget's accessibility node (empty without a node).
[[nodiscard]] std::vector<ControlActionBinding> semantic_action_bindings(std::optional<AccessNode> node);

// ---- Collected items (tree collectors) ----------------------------------------------------------------------------

struct TextPair {
    std::string first;
    std::string second;
    friend bool operator==(const TextPair&, const TextPair&) = default;
};

struct TextPairEntry {
    TextPair pair;
    std::string source;
    std::string detail;
    friend bool operator==(const TextPairEntry&, const TextPairEntry&) = default;
};

class InstanceViewStore;  // the toolkit's stores; no widget of this program makes one
class RecordSet;

struct ViewEntryExtent {
    std::vector<std::uint64_t> values;
    std::optional<std::string> first;
    std::optional<std::string> second;
    std::optional<std::string> third;
    std::uint64_t position = 0;
    friend bool operator==(const ViewEntryExtent&, const ViewEntryExtent&) = default;
};

struct ViewEntryDetail {
    std::string id;
    std::string kind;
    std::string title;
    std::string subtitle;
    std::string source;
    ViewEntryExtent extent;
    std::optional<TextPair> pair;
    std::uint32_t flags = 0;
    friend bool operator==(const ViewEntryDetail&, const ViewEntryDetail&) = default;
};

struct ViewEntry {
    std::optional<ViewEntryDetail> detail;
    std::optional<std::string> id;
    std::optional<std::string> title;
    std::optional<std::string> subtitle;
    std::optional<std::string> icon;
    std::shared_ptr<const InstanceViewStore> store;
    std::shared_ptr<RecordSet> records;
    friend bool operator==(const ViewEntry&, const ViewEntry&) = default;
};

}  // namespace vorn_ui
