// A widget type that supplies only the seven required operations answers the constant defaults; identity texts.

#include "vorn_actions/context.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/search_provider.hpp"
#include "vorn_ui/testing/stub_document.hpp"
#include "vorn_ui/widget.hpp"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace vorn_ui {
namespace {

class MinimalWidget : public Widget {
public:
    void sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) override {}
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& /*style*/, NodeWidgetMap& widgets) override
    {
        const NodeId node = tree.new_leaf({});
        widgets.insert(node, *this);
        return node;
    }
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double x, double y) override
    {
        rect_ = rect_from_layout(tree, node, x, y);
    }
    void draw(DrawContext& /*ctx*/) const override {}
    void handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) override {}
    [[nodiscard]] std::string_view widget_name() const override { return "MinimalWidget"; }
    [[nodiscard]] Rect get_rect() const override { return rect_; }

private:
    Rect rect_{};
};

class MouseKeyboardPane final : public MinimalWidget {
public:
    VORN_WIDGET_IDENTITY("settings::panes::mouse_keyboard::MouseKeyboardPane", "MouseKeyboardPane")
};
class PersonalAppsPane final : public MinimalWidget {
public:
    VORN_WIDGET_IDENTITY("settings::panes::personal_apps::PersonalAppsPane", "PersonalAppsPane")
};

TEST(WidgetDefaults, AMinimalWidgetAnswersEveryConstantDefault)
{
    MinimalWidget w;
    const MinimalWidget& cw = w;
    page_doc::Document doc;

    // Identity, children.
    EXPECT_EQ(cw.widget_type_name(), "MinimalWidget");
    EXPECT_TRUE(cw.children().empty());
    EXPECT_TRUE(w.children_mut().empty());
    EXPECT_EQ(cw.get_rect(), Rect{});

    // Absent answers.
    EXPECT_FALSE(cw.label());
    EXPECT_FALSE(w.as_any());
    EXPECT_FALSE(cw.state_snapshot(doc));
    EXPECT_FALSE(cw.accessibility());
    EXPECT_FALSE(cw.value_text());
    EXPECT_FALSE(cw.owned_value_text({0, 0}));
    EXPECT_FALSE(cw.hit_test({0, 0}));
    EXPECT_FALSE(cw.ime_cursor_rect());
    EXPECT_FALSE(cw.child_clip_rect());
    EXPECT_FALSE(cw.stored_code());
    EXPECT_FALSE(cw.get_state());
    EXPECT_FALSE(cw.text_review());
    EXPECT_FALSE(cw.theme_override());
    EXPECT_FALSE(cw.presence_key());
    EXPECT_FALSE(cw.permission_scope());
    EXPECT_FALSE(cw.layout_extension());
    EXPECT_FALSE(cw.sizing_extension());
    EXPECT_FALSE(cw.next_wake_deadline());
    EXPECT_FALSE(cw.first_descendant_region());
    EXPECT_FALSE(cw.resolve_resource(doc, "settings.section:network"));
    EXPECT_FALSE(cw.optional_record_query_a());
    EXPECT_FALSE(cw.optional_record_query_b());
    EXPECT_FALSE(cw.optional_record_query_c());
    EXPECT_FALSE(cw.tristate_query());
    EXPECT_FALSE(w.find_in_descendants());
    EXPECT_FALSE(w.pane_descriptor());
    EXPECT_FALSE(w.take_control_invocation());
    EXPECT_FALSE(w.take_text_pair());
    QueryRecord query;
    EXPECT_FALSE(w.query_descendants(query));
    EXPECT_FALSE(w.poll_resource_operation(OperationId{}, false, {}));
    EXPECT_FALSE(cw.reserved_03());
    EXPECT_FALSE(cw.reserved_08());
    EXPECT_FALSE(cw.reserved_09());
    EXPECT_FALSE(cw.reserved_16());
    EXPECT_FALSE(cw.reserved_20());
    EXPECT_FALSE(cw.reserved_22());
    // The ten hooks after query_descendants: references and texts, alternating as declared.
    EXPECT_FALSE(cw.reserved_24());
    EXPECT_FALSE(cw.reserved_25());
    EXPECT_FALSE(cw.reserved_26());
    EXPECT_FALSE(cw.reserved_27());
    EXPECT_FALSE(cw.reserved_28());
    EXPECT_FALSE(cw.reserved_29());
    EXPECT_FALSE(cw.reserved_30());
    EXPECT_FALSE(cw.reserved_31());
    EXPECT_FALSE(cw.reserved_32());
    EXPECT_FALSE(cw.reserved_33());
    EXPECT_FALSE(cw.reserved_37());
    EXPECT_FALSE(cw.reserved_38());
    EXPECT_FALSE(cw.reserved_73());
    EXPECT_FALSE(cw.reserved_76());
    EXPECT_FALSE(cw.reserved_98());
    EXPECT_FALSE(cw.reserved_99());
    EXPECT_FALSE(cw.reserved_105());

    // Yes/no answers: false, except is_enabled and the hook after stored_code.
    EXPECT_TRUE(cw.is_enabled());
    EXPECT_TRUE(cw.reserved_82());
    for (bool answer : {cw.is_focusable(), cw.is_focused(), cw.accepts_text_input(), cw.stored_flag(),
                        cw.reserved_07(), cw.reserved_11(), cw.reserved_12(), cw.reserved_21(), cw.reserved_74(),
                        cw.reserved_83(), cw.reserved_97(), cw.subtree_flag(), cw.needs_commit(),
                        cw.has_action_control_bindings(), cw.needs_idle_sync(), cw.yes_no_query(),
                        cw.wants_extra_input(), cw.wants_pointer_capture(), cw.wants_extra_pointer(),
                        cw.needs_animation_frame(), cw.any_descendant_signal(), w.update(), w.take_structure_dirty(),
                        w.offer_code(1), w.offer_request(1, 2, 3), w.reveal_descendant(&w),
                        w.perform_action(Action::activate(), {}), w.perform_semantic_action(Action::activate(), {}, {}),
                        w.perform_key_action("vorn.key-action:x:1", Action::activate(), {})}) {
        EXPECT_FALSE(answer);
    }
    // Childless: redraw and layout dirtiness are true (walk V), and so is the need to measure.
    EXPECT_TRUE(cw.needs_redraw());
    EXPECT_TRUE(cw.is_layout_dirty());
    EXPECT_TRUE(cw.layout_needs_measure());

    // Zero and empty answers.
    EXPECT_EQ(cw.reserved_04(), 0U);
    EXPECT_EQ(cw.reserved_75(), 0U);
    EXPECT_TRUE(cw.reserved_59().empty());
    EXPECT_TRUE(cw.collect_text_entries(5).empty());
    EXPECT_TRUE(w.take_texts().empty());
    EXPECT_TRUE(w.take_view_entries().empty());
    EXPECT_TRUE(w.take_view_entries_2().empty());
    EXPECT_TRUE(w.take_view_entries_3().empty());
    EXPECT_TRUE(cw.handled_action_ids().empty());
    EXPECT_TRUE(cw.resource_operation_handlers().empty());
    EXPECT_TRUE(cw.resources(doc).empty());
    EXPECT_TRUE(cw.search_providers().empty());
    EXPECT_TRUE(cw.control_action_bindings().empty());

    // Notifications do nothing (and nothing breaks).
    w.reserved_02();
    w.reserved_49();
    w.reserved_95();
    w.reserved_100();
    w.reserved_103();
    w.notice_hook_a();
    w.notice_hook_b();
    w.set_focus(true);
    EXPECT_FALSE(cw.is_focused());
    w.set_state("active");
    w.accept_message(MessagePair{"a", "b"});
    w.accept_message(MessageText{"a"});
    w.accept_message(std::monostate{});
    EXPECT_EQ(cw.get_state(), std::nullopt);
}

TEST(WidgetIdentity, EachTypeAnswersItsOwnTexts)
{
    MouseKeyboardPane mouse;
    PersonalAppsPane apps;
    const Widget& m = mouse;
    const Widget& a = apps;
    EXPECT_EQ(m.widget_type_name(), "settings::panes::mouse_keyboard::MouseKeyboardPane");
    EXPECT_EQ(m.widget_name(), "MouseKeyboardPane");
    EXPECT_EQ(a.widget_type_name(), "settings::panes::personal_apps::PersonalAppsPane");
    EXPECT_EQ(a.widget_name(), "PersonalAppsPane");

    static_assert(detail::identity_matches("vorn_ui::widget::chart::Sparkline", "Sparkline"));
    static_assert(!detail::identity_matches("vorn_ui::widget::chart::Sparkline", "Chart"));
    static_assert(!detail::identity_matches("vorn_ui::widget::chart::XSparkline", "Sparkline"));
}

}  // namespace
}  // namespace vorn_ui
