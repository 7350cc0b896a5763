#pragma once
// A configurable test widget for the Widget defaults: every operation it overrides writes "<name>.<op>" (with the
// arguments it received where they matter) to a shared call log, then answers what the test configured or, when
// nothing is configured, runs the default (Widget::<op>). A tree of probes shows each walk's order, stop rule and
// pass-through.

#include "vorn_actions/context.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/widget.hpp"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorn_ui::testing {

using CallLog = std::vector<std::string>;

class ProbeWidget : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::testing::ProbeWidget", "ProbeWidget")

    explicit ProbeWidget(std::string probe_name, CallLog* call_log = nullptr)
        : name(std::move(probe_name)), log(call_log)
    {
    }

    // Adds a child probe sharing this probe's log; answers it for configuration.
    ProbeWidget& add(std::string child_name)
    {
        kids.push_back(std::make_unique<ProbeWidget>(std::move(child_name), log));
        return static_cast<ProbeWidget&>(*kids.back());
    }

    std::string name;
    CallLog* log;
    std::vector<std::unique_ptr<Widget>> kids;
    Rect rect{};

    // Configured answers; empty means "run the default".
    std::optional<bool> animation, redraw, layout_dirty, measure_needed, signal, commit, flag;
    std::optional<bool> structure_dirty;  // take-and-clear: answered once, then false
    std::optional<Instant> deadline;
    std::optional<RegionWords> region;
    std::optional<std::vector<std::string>> texts;
    std::optional<TextPair> text_pair;
    std::optional<QueryAnswer> query_answer;
    bool finish_query = false;
    std::deque<ControlInvocation> invocations;
    std::optional<vorn_actions::ActionContext> descriptor;
    std::optional<AccessNode> node;
    std::vector<std::string_view> kinds;
    std::function<ResourceOperationAnswer(OperationClass, std::string_view kind)> handler;
    std::optional<ResourceOperationStart> route_answer;
    std::optional<OperationCompletion> report;  // answered to a poll with the report's id, once
    std::optional<std::string_view> value;
    std::function<bool(const Action&)> on_action;
    std::function<void(OverlayRecord&)> overlay_hook;
    std::optional<bool> adjust_answer;

    // ---- the seven required operations ----
    void sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) override { note("sync"); }
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override
    {
        std::vector<NodeId> child_nodes;
        for (Widget* child : children_mut()) {
            child_nodes.push_back(child->build_layout(tree, style, widgets));
        }
        const NodeId own = child_nodes.empty() ? tree.new_measured_leaf({})
                                               : tree.new_with_children({}, child_nodes);
        widgets.insert(own, *this);
        return own;
    }
    void apply_layout(const flex_layout::Tree& tree, NodeId node_id, double parent_x, double parent_y) override
    {
        rect = rect_from_layout(tree, node_id, parent_x, parent_y);
    }
    void draw(DrawContext& /*ctx*/) const override { note("draw"); }
    void handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) override { note("event"); }
    [[nodiscard]] Rect get_rect() const override { return rect; }

    // ---- children ----
    [[nodiscard]] std::vector<const Widget*> children() const override { return child_list(kids); }
    [[nodiscard]] std::vector<Widget*> children_mut() override { return child_list_mut(kids); }

    // ---- broadcasts ----
    void visit_descendants(WordPair arg) const override
    {
        note("visit:" + std::to_string(arg.first) + "/" + std::to_string(arg.second));
        Widget::visit_descendants(arg);
    }
    void visit_descendants_mut(WordPair arg) override
    {
        note("visit_mut:" + std::to_string(arg.first) + "/" + std::to_string(arg.second));
        Widget::visit_descendants_mut(arg);
    }
    void set_interaction_flag(std::uint8_t f) override
    {
        note("flag:" + std::to_string(f));
        Widget::set_interaction_flag(f);
    }
    void set_interaction_environment(InteractionEnv env) override
    {
        note("env:" + std::to_string(env.flags) + "/" + std::to_string(env.bytes[3]));
        Widget::set_interaction_environment(env);
    }
    void notify_descendants(WordPair arg) override
    {
        note("notify:" + std::to_string(arg.first) + "/" + std::to_string(arg.second));
        Widget::notify_descendants(arg);
    }
    void propagate_code(std::uint32_t code) override
    {
        note("code:" + std::to_string(code));
        Widget::propagate_code(code);
    }
    std::optional<QueryAnswer> query_descendants(QueryRecord& query) override
    {
        note("query");
        if (finish_query) {
            query.value = 1;
            query.flags = 1;
        }
        if (query_answer) {
            return query_answer;
        }
        return Widget::query_descendants(query);
    }

    // ---- collectors and finders ----
    [[nodiscard]] std::vector<TextPairEntry> collect_text_entries(std::uintptr_t context) const override
    {
        note("entries:" + std::to_string(context));
        if (texts) {
            std::vector<TextPairEntry> own;
            for (const auto& t : *texts) {
                own.push_back(TextPairEntry{.pair = {t, t}, .source = {}, .detail = {}});
            }
            return own;
        }
        return Widget::collect_text_entries(context);
    }
    [[nodiscard]] std::vector<std::string> take_texts() override
    {
        note("texts");
        if (texts) {
            return std::exchange(*texts, {});
        }
        return Widget::take_texts();
    }
    [[nodiscard]] std::vector<ViewEntry> take_view_entries_2() override
    {
        note("views2");
        if (texts) {
            std::vector<ViewEntry> own;
            for (auto& t : std::exchange(*texts, {})) {
                own.push_back(ViewEntry{.detail = {}, .id = std::move(t), .title = {}, .subtitle = {}, .icon = {},
                                        .store = {}, .records = {}});
            }
            return own;
        }
        return Widget::take_view_entries_2();
    }
    [[nodiscard]] bool subtree_flag() const override
    {
        note("subtree_flag");
        return flag ? *flag : Widget::subtree_flag();
    }
    bool offer_request(std::uint32_t request, std::uintptr_t first, std::uintptr_t second) override
    {
        note("offer_request:" + std::to_string(request) + "/" + std::to_string(first) + "/" +
             std::to_string(second));
        return flag ? *flag : Widget::offer_request(request, first, second);
    }
    bool offer_code(std::uint8_t code) override
    {
        note("offer_code:" + std::to_string(code));
        return flag ? *flag : Widget::offer_code(code);
    }
    [[nodiscard]] std::optional<TextPair> take_text_pair() override
    {
        note("text_pair");
        if (text_pair) {
            return std::exchange(text_pair, std::nullopt);
        }
        return Widget::take_text_pair();
    }
    bool reveal_descendant(const Widget* target) override
    {
        note("reveal");
        return Widget::reveal_descendant(target);
    }

    // ---- frame queries ----
    [[nodiscard]] bool needs_animation_frame() const override
    {
        note("animation");
        return animation ? *animation : Widget::needs_animation_frame();
    }
    [[nodiscard]] std::optional<Instant> next_wake_deadline() const override
    {
        note("deadline");
        return deadline ? deadline : Widget::next_wake_deadline();
    }
    [[nodiscard]] std::optional<RegionWords> first_descendant_region() const override
    {
        note("region");
        return region ? region : Widget::first_descendant_region();
    }
    bool take_structure_dirty() override
    {
        note("structure");
        if (structure_dirty) {
            return std::exchange(*structure_dirty, false);
        }
        return Widget::take_structure_dirty();
    }
    [[nodiscard]] bool any_descendant_signal() const override
    {
        note("signal");
        return signal ? *signal : Widget::any_descendant_signal();
    }
    [[nodiscard]] bool needs_redraw() const override
    {
        note("redraw");
        return redraw ? *redraw : Widget::needs_redraw();
    }
    [[nodiscard]] bool is_layout_dirty() const override
    {
        note("layout_dirty");
        return layout_dirty ? *layout_dirty : Widget::is_layout_dirty();
    }
    [[nodiscard]] bool layout_needs_measure() const override
    {
        note("needs_measure");
        return measure_needed ? *measure_needed : Widget::layout_needs_measure();
    }
    void mark_drawn() override
    {
        note("mark_drawn");
        Widget::mark_drawn();
    }
    void release_scene_cache() override
    {
        note("release");
        Widget::release_scene_cache();
    }
    void draw_overlay(DrawContext& ctx, OverlayRecord& overlay) override
    {
        note("overlay:" + std::to_string(overlay.layer));
        if (overlay_hook) {
            overlay_hook(overlay);
            return;
        }
        Widget::draw_overlay(ctx, overlay);
    }
    bool adjust_layout_style(flex_layout::Style& style, const StyleContext& ctx) const override
    {
        return adjust_answer ? *adjust_answer : Widget::adjust_layout_style(style, ctx);
    }

    // ---- input ----
    [[nodiscard]] std::optional<std::string_view> value_text() const override { return value; }
    bool perform_action(const Action& action, ActionCtx ctx) override
    {
        note("action:" + std::to_string(static_cast<int>(action.kind)) + "/" + std::to_string(ctx.first));
        return on_action ? on_action(action) : Widget::perform_action(action, ctx);
    }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override { return node; }

    // ---- commit and bindings ----
    [[nodiscard]] bool needs_commit() const override
    {
        note("commit?");
        return commit ? *commit : Widget::needs_commit();
    }
    std::optional<vorn_actions::ActionContext> pane_descriptor() override
    {
        note("descriptor");
        if (descriptor) {
            return std::exchange(descriptor, std::nullopt);
        }
        return Widget::pane_descriptor();
    }
    std::optional<ControlInvocation> take_control_invocation() override
    {
        note("invocation");
        if (!invocations.empty()) {
            ControlInvocation front = std::move(invocations.front());
            invocations.pop_front();
            return front;
        }
        return Widget::take_control_invocation();
    }
    void refresh_control_action_availability(const ActionAvailability& availability) override
    {
        note("refresh");
        Widget::refresh_control_action_availability(availability);
    }
    void on_commit() override
    {
        note("on_commit");
        Widget::on_commit();
    }

    // ---- resource operations ----
    [[nodiscard]] std::vector<std::string_view> handled_action_ids() const override { return kinds; }
    ResourceOperationAnswer handle_resource_operation(OperationClass op_class, std::string_view kind,
                                                      std::string_view payload, page_doc::Document& doc) override
    {
        note("handle");
        return handler ? handler(op_class, kind) : Widget::handle_resource_operation(op_class, kind, payload, doc);
    }
    ResourceOperationStart route_resource_operation(OperationId id, OperationClass op_class, std::string_view kind,
                                                    std::string_view payload, page_doc::Document& doc) override
    {
        note("route");
        if (route_answer) {
            return *route_answer;
        }
        return Widget::route_resource_operation(id, op_class, kind, payload, doc);
    }
    ResourceOperationStart start_resource_operation_with_document(OperationId id, OperationClass op_class,
                                                                  std::string_view kind, std::string_view payload,
                                                                  page_doc::Document& doc) override
    {
        note("start");
        return Widget::start_resource_operation_with_document(id, op_class, kind, payload, doc);
    }
    std::optional<OperationCompletion> poll_resource_operation(OperationId id, bool cancel, WordPair extra) override
    {
        note(std::string("poll") + (cancel ? ":cancel" : ""));
        if (report && report->id == id) {
            return std::exchange(report, std::nullopt);
        }
        return Widget::poll_resource_operation(id, cancel, extra);
    }

private:
    void note(const std::string& what) const
    {
        if (log != nullptr) {
            log->push_back(name + "." + what);
        }
    }
};

// The calls of the log whose operation is `op` ("A.handle" for op "handle"), in order, as probe names.
inline std::vector<std::string> calls_of(const CallLog& log, std::string_view op)
{
    std::vector<std::string> names;
    for (const std::string& entry : log) {
        const std::size_t dot = entry.find('.');
        if (dot != std::string::npos && std::string_view(entry).substr(dot + 1) == op) {
            names.push_back(entry.substr(0, dot));
        }
    }
    return names;
}

}  // namespace vorn_ui::testing
