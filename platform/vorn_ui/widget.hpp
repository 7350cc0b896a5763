#pragma once
// The Widget interface: every widget of the program (the application object, the pages, the sidebar rows, the
// toolkit's containers, controls and displays) is an object behind it. The toolkit's loop holds the root widget and
// calls these operations on it; the default bodies carry most calls down the tree.
//
// Conventions
// - Ownership: a widget owns its children, normally as std::unique_ptr<Widget>. Nothing here hands out ownership.
// - Child lists: `children()` (read-only) and `children_mut()` (may change the children) answer a new list of
//   non-owning pointers, in child order, valid for the one call that asked for it. Never add or remove children
//   while a walk over them runs (structural changes belong in the owner's own sync/build_layout/operations).
//   A widget with children overrides both (same children, same order); `for_each_child` defaults to `children()`.
// - Defaults that involve children ask the direct children only; the recursion comes from each child's own version
//   of the same operation. Which child access each default uses is part of its behaviour:
//     children():        visit_descendants, collect_text_entries, subtree_flag
//     for_each_child():  needs_commit, control_action_bindings, resource_operation_handlers, and the frame queries
//                        needs_animation_frame, next_wake_deadline, first_descendant_region, any_descendant_signal,
//                        needs_redraw, is_layout_dirty, layout_needs_measure
//     children_mut():    every other walking default (broadcasts, take_* collectors, finders, pane_descriptor,
//                        take_control_invocation, refresh/commit, resource-operation routing and polling,
//                        take_structure_dirty, mark_drawn, release_scene_cache, draw_overlay)
//   The walk shapes live in vorn_ui/walks.hpp; an override that wants the default can call Widget::operation().
// - Constant defaults (absent, false, zero, empty, nothing) read no argument and change nothing. Exceptions to
//   "false": is_enabled() and reserved_82() answer true.
// - Seven operations have no default: sync, build_layout, apply_layout, draw, handle_event, widget_name, get_rect.
//   Every concrete type also states its identity with VORN_WIDGET_IDENTITY (full type path and short name).
// - Operations are declared in the toolkit's order (the number in each comment is the position, 1 to 141). The
//   reserved_NN operations are toolkit hooks that no widget of this program answers; they keep their place and
//   their constant default.
// - Everything runs on the UI thread; the defaults take no locks.
//
// Forward-declared here, defined elsewhere: page_doc::Document (the page document, platform/page_doc),
// vorn_actions::Resource/ActionContext/ControlInvocation (vorn_actions/resource.hpp, vorn_actions/context.hpp),
// TextRenderer (the text layer of the toolkit widgets), SearchProvider (vorn_ui/search_provider.hpp).

#include "flex_layout/flex_layout.hpp"
#include "vorn_ui/context.hpp"
#include "vorn_ui/draw_context.hpp"
#include "vorn_ui/event.hpp"
#include "vorn_ui/function_ref.hpp"
#include "vorn_ui/geometry.hpp"
#include "vorn_ui/records.hpp"
#include "vorn_ui/resource_ops.hpp"
#include "vorn_ui/theme.hpp"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace page_doc {
class Document;
}

namespace vorn_actions {
struct Resource;
struct ActionContext;
struct ControlInvocation;
}  // namespace vorn_actions

namespace vorn_ui {

class TextRenderer;
class SearchProvider;

using vorn_actions::ControlInvocation;

namespace detail {
constexpr bool identity_matches(std::string_view full_path, std::string_view short_name)
{
    return full_path.size() > short_name.size() + 2 && full_path.ends_with(short_name) &&
           full_path.substr(full_path.size() - short_name.size() - 2, 2) == "::";
}
}  // namespace detail

// States a concrete widget type's identity: its full type path and its short name, fixed texts. Place it in a
// public section of the class:
//   class AudioPane final : public vorn_ui::Widget {
//   public:
//       VORN_WIDGET_IDENTITY("settings::panes::audio::AudioPane", "AudioPane")
//       ...
#define VORN_WIDGET_IDENTITY(full_path, short_name)                                                      \
    static_assert(::vorn_ui::detail::identity_matches(full_path, short_name),                          \
                  "the full type path must end with ::" short_name);                                   \
    [[nodiscard]] std::string_view widget_type_name() const override { return full_path; }             \
    [[nodiscard]] std::string_view widget_name() const override { return short_name; }

class Widget {
public:
    virtual ~Widget();

    // ---- Identity and early hooks -------------------------------------------------------------------------------
    /*   1 */ [[nodiscard]] virtual std::string_view widget_type_name() const;  // default: widget_name()
    /*   2 */ virtual void reserved_02();
    /*   3 */ [[nodiscard]] virtual std::optional<ReservedRecord> reserved_03() const;
    /*   4 */ [[nodiscard]] virtual std::uintptr_t reserved_04() const;
    /*   5 */ virtual void visit_descendants(WordPair arg) const;
    /*   6 */ virtual void visit_descendants_mut(WordPair arg);
    /*   7 */ [[nodiscard]] virtual bool reserved_07() const;
    /*   8 */ [[nodiscard]] virtual std::optional<ReservedRecord> reserved_08() const;
    /*   9 */ [[nodiscard]] virtual std::optional<std::string_view> reserved_09() const;
    // A JSON object (members in insertion order) describing what the widget shows and the state of `doc`.
    /*  10 */ [[nodiscard]] virtual std::optional<nlohmann::ordered_json> state_snapshot(
        const page_doc::Document& doc) const;
    /*  11 */ [[nodiscard]] virtual bool reserved_11() const;
    /*  12 */ [[nodiscard]] virtual bool reserved_12() const;
    /*  13 */ [[nodiscard]] virtual std::vector<TextPairEntry> collect_text_entries(std::uintptr_t context) const;
    /*  14 */ [[nodiscard]] virtual std::vector<std::string> take_texts();
    /*  15 */ [[nodiscard]] virtual std::vector<ViewEntry> take_view_entries();
    /*  16 */ [[nodiscard]] virtual std::optional<ReservedValue> reserved_16() const;
    /*  17 */ [[nodiscard]] virtual bool subtree_flag() const;
    /*  18 */ [[nodiscard]] virtual std::vector<ViewEntry> take_view_entries_2();
    /*  19 */ [[nodiscard]] virtual std::vector<ViewEntry> take_view_entries_3();
    /*  20 */ [[nodiscard]] virtual std::optional<ReservedRecord> reserved_20() const;
    /*  21 */ [[nodiscard]] virtual bool reserved_21() const;
    /*  22 */ [[nodiscard]] virtual std::optional<ReservedValue> reserved_22() const;
    // The first answer of a child, in child order; stops (absent) as soon as the record is finished.
    /*  23 */ [[nodiscard]] virtual std::optional<QueryAnswer> query_descendants(QueryRecord& query);
    /*  24 */ [[nodiscard]] virtual std::optional<AnyRef> reserved_24() const;
    /*  25 */ [[nodiscard]] virtual std::optional<AnyRef> reserved_25() const;
    /*  26 */ [[nodiscard]] virtual std::optional<std::string_view> reserved_26() const;
    /*  27 */ [[nodiscard]] virtual std::optional<AnyRef> reserved_27() const;
    /*  28 */ [[nodiscard]] virtual std::optional<std::string_view> reserved_28() const;
    /*  29 */ [[nodiscard]] virtual std::optional<AnyRef> reserved_29() const;
    /*  30 */ [[nodiscard]] virtual std::optional<std::string_view> reserved_30() const;
    /*  31 */ [[nodiscard]] virtual std::optional<AnyRef> reserved_31() const;
    /*  32 */ [[nodiscard]] virtual std::optional<std::string_view> reserved_32() const;
    /*  33 */ [[nodiscard]] virtual std::optional<AnyRef> reserved_33() const;
    /*  34 */ virtual void set_interaction_flag(std::uint8_t flag);
    /*  35 */ virtual void set_interaction_environment(InteractionEnv env);

    // ---- Sync, layout and drawing -------------------------------------------------------------------------------
    // Brings the widget up to date: reads and writes the page document, takes published state, drains workers.
    /*  36 */ virtual void sync(page_doc::Document& doc, SyncContext& ctx) = 0;
    /*  37 */ [[nodiscard]] virtual std::optional<std::string_view> reserved_37() const;
    /*  38 */ [[nodiscard]] virtual std::optional<AnyRef> reserved_38() const;
    /*  39 */ virtual bool update();
    // Adds the widget's node (and its children's nodes) to `tree`, registers (node, widget) in `widgets`, answers
    // the node.
    /*  40 */ virtual NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style,
                                         NodeWidgetMap& widgets) = 0;
    // The content size of a measured leaf. Default: (0, 0).
    /*  41 */ [[nodiscard]] virtual Size measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                                                 TextRenderer& text) const;
    /*  42 */ virtual bool adjust_layout_style(flex_layout::Style& style, const StyleContext& ctx) const;
    /*  43 */ [[nodiscard]] virtual std::optional<LayoutExtension> layout_extension() const;
    /*  44 */ [[nodiscard]] virtual std::optional<SizingExtension> sizing_extension() const;
    // Default: the widget's own adjust_layout_style(style, ctx).
    /*  45 */ virtual bool adjust_layout_with_measure(flex_layout::Style& style, const StyleContext& ctx,
                                                      flex_layout::KnownSize known,
                                                      flex_layout::AvailableSize available) const;
    // Reads the computed layout of `node` back: the widget's rectangle is (parent_x, parent_y) plus the node's
    // offset, with the node's size (see rect_from_layout).
    /*  46 */ virtual void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x,
                                        double parent_y) = 0;
    /*  47 */ virtual void draw(DrawContext& ctx) const = 0;
    /*  48 */ virtual void handle_event(const Event& event, DispatchContext& ctx) = 0;
    /*  49 */ virtual void reserved_49();

    // ---- Child access -------------------------------------------------------------------------------------------
    /*  50 */ [[nodiscard]] virtual std::vector<const Widget*> children() const;
    // Calls `visit` once for every child of `children()`, in order; every child is visited.
    /*  51 */ virtual void for_each_child(FunctionRef<void(const Widget&)> visit) const;
    /*  52 */ [[nodiscard]] virtual std::vector<Widget*> children_mut();
    // The operation kinds this widget itself handles (static texts).
    /*  53 */ [[nodiscard]] virtual std::vector<std::string_view> handled_action_ids() const;
    // The kinds handled anywhere in the subtree: the own kinds and every child's set.
    /*  54 */ [[nodiscard]] virtual std::unordered_set<std::string> resource_operation_handlers() const;
    /*  55 */ [[nodiscard]] virtual std::string_view widget_name() const = 0;
    /*  56 */ [[nodiscard]] virtual std::optional<std::string_view> label() const;
    /*  57 */ [[nodiscard]] virtual std::optional<AnyRef> as_any();
    // True when `target` is a descendant (compared by address): a direct child without asking it, deeper through
    // the child's own reveal_descendant.
    /*  58 */ virtual bool reveal_descendant(const Widget* target);
    /*  59 */ [[nodiscard]] virtual std::vector<ReservedRecord> reserved_59() const;
    /*  60 */ [[nodiscard]] virtual Rect get_rect() const = 0;
    /*  61 */ [[nodiscard]] virtual std::optional<Rect> child_clip_rect() const;
    /*  62 */ [[nodiscard]] virtual std::optional<TextPair> take_text_pair();

    // ---- Pointer, focus, text input, accessibility --------------------------------------------------------------
    /*  63 */ [[nodiscard]] virtual std::optional<std::uint8_t> hit_test(Point point) const;
    /*  64 */ [[nodiscard]] virtual std::optional<std::string_view> value_text() const;
    // The rectangle and a copy of value_text() when `point` lies inside get_rect() and the text is not empty.
    /*  65 */ [[nodiscard]] virtual std::optional<ValueTextHit> owned_value_text(Point point) const;
    /*  66 */ [[nodiscard]] virtual bool is_focusable() const;
    /*  67 */ virtual void set_focus(bool focused);
    /*  68 */ [[nodiscard]] virtual bool is_focused() const;
    /*  69 */ [[nodiscard]] virtual bool accepts_text_input() const;
    /*  70 */ [[nodiscard]] virtual std::optional<Rect> ime_cursor_rect() const;
    /*  71 */ [[nodiscard]] virtual bool stored_flag() const;
    /*  72 */ [[nodiscard]] virtual std::optional<AccessNode> accessibility() const;
    /*  73 */ [[nodiscard]] virtual std::optional<ReservedValue> reserved_73() const;
    /*  74 */ [[nodiscard]] virtual bool reserved_74() const;
    /*  75 */ [[nodiscard]] virtual std::uintptr_t reserved_75() const;
    /*  76 */ [[nodiscard]] virtual std::optional<ReservedRecord> reserved_76() const;
    // True when the widget handled the action.
    /*  77 */ virtual bool perform_action(const Action& action, ActionCtx ctx);
    // Default: perform_action(action, ctx); `extra` is not used.
    /*  78 */ virtual bool perform_semantic_action(const Action& action, WordPair extra, ActionCtx ctx);
    // Default: false for an id that is not a valid key-action id (vorn_ui/key_action.hpp), otherwise
    // perform_action(action, ctx).
    /*  79 */ virtual bool perform_key_action(std::string_view id, const Action& action, ActionCtx ctx);
    /*  80 */ [[nodiscard]] virtual bool is_enabled() const;  // default: true
    /*  81 */ [[nodiscard]] virtual std::optional<std::uint8_t> stored_code() const;
    /*  82 */ [[nodiscard]] virtual bool reserved_82() const;  // default: true
    /*  83 */ [[nodiscard]] virtual bool reserved_83() const;

    // ---- Commit and control bindings ----------------------------------------------------------------------------
    /*  84 */ [[nodiscard]] virtual bool needs_commit() const;
    /*  85 */ virtual std::optional<vorn_actions::ActionContext> pane_descriptor();
    /*  86 */ virtual std::optional<ControlInvocation> take_control_invocation();
    /*  87 */ virtual void notify_descendants(WordPair arg);
    // The bindings of the own accessibility node, then every child's list.
    /*  88 */ [[nodiscard]] virtual std::vector<ControlActionBinding> control_action_bindings() const;
    /*  89 */ [[nodiscard]] virtual bool has_action_control_bindings() const;
    /*  90 */ virtual void refresh_control_action_availability(const ActionAvailability& availability);
    /*  91 */ virtual void on_commit();
    /*  92 */ [[nodiscard]] virtual std::optional<std::string> get_state() const;
    /*  93 */ virtual void set_state(std::string_view state);
    /*  94 */ [[nodiscard]] virtual std::optional<TextReview> text_review() const;
    /*  95 */ virtual void reserved_95();
    /*  96 */ virtual bool offer_request(std::uint32_t request, std::uintptr_t first, std::uintptr_t second);
    /*  97 */ [[nodiscard]] virtual bool reserved_97() const;
    /*  98 */ [[nodiscard]] virtual std::optional<ReservedRecord> reserved_98() const;
    /*  99 */ [[nodiscard]] virtual std::optional<ReservedRecord> reserved_99() const;
    /* 100 */ virtual void reserved_100();
    /* 101 */ [[nodiscard]] virtual std::optional<Theme> theme_override() const;
    /* 102 */ virtual void propagate_code(std::uint32_t code);
    /* 103 */ virtual void reserved_103();
    /* 104 */ [[nodiscard]] virtual std::optional<PresenceKey> presence_key() const;
    /* 105 */ [[nodiscard]] virtual std::optional<ReservedRecord> reserved_105() const;
    /* 106 */ [[nodiscard]] virtual bool needs_idle_sync() const;
    /* 107 */ [[nodiscard]] virtual std::optional<PermissionScope> permission_scope() const;

    // ---- Resources and resource operations ----------------------------------------------------------------------
    /* 108 */ [[nodiscard]] virtual std::vector<vorn_actions::Resource> resources(
        const page_doc::Document& doc) const;
    /* 109 */ [[nodiscard]] virtual std::optional<ReservedRecord> optional_record_query_a() const;
    /* 110 */ [[nodiscard]] virtual std::optional<ReservedRecord> optional_record_query_b() const;
    /* 111 */ [[nodiscard]] virtual std::optional<vorn_actions::Resource> resolve_resource(
        const page_doc::Document& doc, std::string_view address) const;
    /* 112 */ [[nodiscard]] virtual std::optional<ReservedRecord> optional_record_query_c() const;
    /* 113 */ [[nodiscard]] virtual std::vector<std::unique_ptr<SearchProvider>> search_providers() const;
    /* 114 */ virtual void notice_hook_a();
    /* 115 */ virtual std::optional<std::string> find_in_descendants();
    /* 116 */ virtual void notice_hook_b();
    /* 117 */ [[nodiscard]] virtual std::optional<bool> tristate_query() const;
    /* 118 */ virtual bool offer_code(std::uint8_t code);
    /* 119 */ [[nodiscard]] virtual bool yes_no_query() const;
    // Class 0: NotHandled at once. Otherwise the children in order; the first Handled or Failed is the answer.
    /* 120 */ virtual ResourceOperationAnswer handle_resource_operation(OperationClass op_class, std::string_view kind,
                                                                        std::string_view payload,
                                                                        page_doc::Document& doc);
    // The own handle_resource_operation, converted (Handled becomes Completed with nothing in it).
    /* 121 */ virtual ResourceOperationResult invoke_resource_operation_v2(OperationClass op_class,
                                                                          std::string_view kind,
                                                                          std::string_view payload,
                                                                          page_doc::Document& doc);
    // The children's routes first (first answer other than NotHandled wins), then the own invocation.
    /* 122 */ virtual ResourceOperationStart route_resource_operation(OperationId id, OperationClass op_class,
                                                                      std::string_view kind,
                                                                      std::string_view payload,
                                                                      page_doc::Document& doc);
    // The children's starts first (first answer other than NotHandled wins), then the own route.
    /* 123 */ virtual ResourceOperationStart start_resource_operation_with_document(OperationId id,
                                                                                    OperationClass op_class,
                                                                                    std::string_view kind,
                                                                                    std::string_view payload,
                                                                                    page_doc::Document& doc);
    // The first child's report; only the widget that answered Pending for `id` reports anything.
    /* 124 */ virtual std::optional<OperationCompletion> poll_resource_operation(OperationId id, bool cancel,
                                                                                 WordPair extra);

    // ---- Frame scheduling, damage and the clipped draw ----------------------------------------------------------
    /* 125 */ [[nodiscard]] virtual bool wants_extra_input() const;
    /* 126 */ virtual void accept_message(ToolkitMessage message);
    /* 127 */ [[nodiscard]] virtual bool wants_pointer_capture() const;
    /* 128 */ [[nodiscard]] virtual bool wants_extra_pointer() const;
    /* 129 */ [[nodiscard]] virtual bool needs_animation_frame() const;
    // The strictly earliest deadline any child reports (ties keep the earlier child's).
    /* 130 */ [[nodiscard]] virtual std::optional<Instant> next_wake_deadline() const;
    /* 131 */ [[nodiscard]] virtual std::optional<RegionWords> first_descendant_region() const;
    // Take-and-clear: asks every child (no short-circuit), true when any answered true.
    /* 132 */ virtual bool take_structure_dirty();
    /* 133 */ [[nodiscard]] virtual bool any_descendant_signal() const;
    // Default: true when any child answers true, and true for a widget without children.
    /* 134 */ [[nodiscard]] virtual bool needs_redraw() const;
    // Default: appends get_rect() when the own needs_redraw() is true; children are not asked.
    /* 135 */ virtual void collect_damage(std::vector<Rect>& damage) const;
    /* 136 */ virtual void mark_drawn();
    /* 137 */ virtual void release_scene_cache();
    /* 138 */ [[nodiscard]] virtual bool is_layout_dirty() const;
    // Default: with children, any child's layout_needs_measure; without, the own is_layout_dirty().
    /* 139 */ [[nodiscard]] virtual bool layout_needs_measure() const;
    // Default: draw(ctx) unless the widget's rectangle has no area inside ctx.clip().
    /* 140 */ virtual void draw_with_presence(DrawContext& ctx) const;
    // Default: draw_overlay on every child, each with its own copy of `overlay`.
    /* 141 */ virtual void draw_overlay(DrawContext& ctx, OverlayRecord& overlay);

protected:
    Widget() = default;
    Widget(const Widget&) = default;
    Widget(Widget&&) = default;
    Widget& operator=(const Widget&) = default;
    Widget& operator=(Widget&&) = default;
};

// Child-list helpers for widgets that own their children as std::unique_ptr.
template <class Owned>
[[nodiscard]] std::vector<const Widget*> child_list(const Owned& owned)
{
    std::vector<const Widget*> list;
    list.reserve(std::size(owned));
    for (const auto& child : owned) {
        if (child) {
            list.push_back(&*child);
        }
    }
    return list;
}

template <class Owned>
[[nodiscard]] std::vector<Widget*> child_list_mut(Owned& owned)
{
    std::vector<Widget*> list;
    list.reserve(std::size(owned));
    for (auto& child : owned) {
        if (child) {
            list.push_back(&*child);
        }
    }
    return list;
}

}  // namespace vorn_ui
