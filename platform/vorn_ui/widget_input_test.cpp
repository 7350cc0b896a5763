// Events, focus, text input and accessibility defaults; the key-action id grammar.

#include "vorn_ui/key_action.hpp"
#include "vorn_ui/testing/probe_widget.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn_ui {
namespace {

using testing::CallLog;
using testing::ProbeWidget;

struct KeyCase {
    std::string_view after_prefix;
    bool valid;
    std::string_view name;
    std::vector<std::uint64_t> path;
};

const KeyCase key_cases[] = {
    {"list:0/3", true, "list", {0, 3}},
    {"a:b:2", true, "a:b", {2}},
    {":7", true, "", {7}},
    {"x:+1", true, "x", {1}},
    {"x:007", true, "x", {7}},
    {"x:18446744073709551615", true, "x", {18446744073709551615ULL}},
    {"x:1/+2/30", true, "x", {1, 2, 30}},
    {"5", false, {}, {}},                         // no colon after the prefix
    {"x:", false, {}, {}},                        // empty path
    {"x:1/", false, {}, {}},                      // empty last piece
    {"x:1//2", false, {}, {}},                    // empty middle piece
    {"x:/1", false, {}, {}},                      // empty first piece
    {"x:+", false, {}, {}},                       // a lone plus
    {"x:++1", false, {}, {}},                     // one plus at most
    {"x:-1", false, {}, {}},
    {"x:1a", false, {}, {}},
    {"x: 1", false, {}, {}},                      // space
    {"x:1 ", false, {}, {}},
    {"x:18446744073709551616", false, {}, {}},    // one above the maximum
    {"x:99999999999999999999999", false, {}, {}},
    {"", false, {}, {}},                          // the bare prefix
};

TEST(KeyActionId, GrammarTable)
{
    for (const KeyCase& c : key_cases) {
        const std::string id = std::string(key_action_prefix) + std::string(c.after_prefix);
        const auto parsed = parse_key_action_id(id);
        ASSERT_EQ(parsed.has_value(), c.valid) << id;
        if (parsed) {
            EXPECT_EQ(parsed->name, c.name) << id;
            EXPECT_EQ(parsed->path, c.path) << id;
        }

        // The widget default: a valid id leads to one perform_action with the same action and context, whose answer
        // it returns; an invalid one answers false without calling it.
        CallLog log;
        ProbeWidget w("W", &log);
        w.on_action = [](const Action& action) { return action.kind == Action::Kind::SetValue; };
        EXPECT_EQ(w.perform_key_action(id, Action::set_value("v"), ActionCtx{5, 6}), c.valid) << id;
        EXPECT_EQ(log, c.valid ? CallLog{"W.action:7/5"} : CallLog{}) << id;
    }
}

TEST(KeyActionId, PrefixIsCaseSensitiveAndRoundTrips)
{
    EXPECT_FALSE(parse_key_action_id("Vorn.key-action:x:1"));
    EXPECT_FALSE(parse_key_action_id("vorn.key-action"));
    const std::vector<std::uint64_t> path{0, 3};
    const std::string id = make_key_action_id("a:b", path);
    EXPECT_EQ(id, "vorn.key-action:a:b:0/3");
    EXPECT_EQ(parse_key_action_id(id), (KeyActionId{"a:b", {0, 3}}));
}

TEST(WidgetActions, DefaultsAnswerFalseWithoutAnOwnPerformAction)
{
    ProbeWidget w("W");
    EXPECT_FALSE(w.perform_key_action("vorn.key-action:list:0/3", Action::activate(), {}));
    EXPECT_FALSE(w.perform_semantic_action(Action::activate(), WordPair{1, 2}, {}));

    CallLog log;
    ProbeWidget handled("H", &log);
    handled.on_action = [](const Action&) { return true; };
    EXPECT_TRUE(handled.perform_semantic_action(Action::activate(), WordPair{1, 2}, ActionCtx{8, 0}));
    EXPECT_EQ(log, CallLog{"H.action:0/8"});  // the context is passed on, the extra value is not
}

TEST(WidgetValueText, OwnedValueTextUsesHalfOpenRectangles)
{
    ProbeWidget w("W");
    w.rect = {10, 20, 110, 70};
    EXPECT_EQ(w.owned_value_text({10, 20}), std::nullopt);  // no value text at all

    w.value = "Europe/Berlin";
    EXPECT_EQ(w.owned_value_text({10, 20}), (ValueTextHit{w.rect, "Europe/Berlin"}));  // left/top edge: inside
    EXPECT_EQ(w.owned_value_text({109.9, 69.9}), (ValueTextHit{w.rect, "Europe/Berlin"}));
    EXPECT_EQ(w.owned_value_text({110, 30}), std::nullopt);  // right edge: outside
    EXPECT_EQ(w.owned_value_text({50, 70}), std::nullopt);   // bottom edge: outside
    EXPECT_EQ(w.owned_value_text({9.99, 30}), std::nullopt);

    w.value = "";
    EXPECT_EQ(w.owned_value_text({50, 30}), std::nullopt);  // an empty text is no value
}

TEST(AccessNode, NumericIdIsFnv1aWithATerminatingByte)
{
    EXPECT_EQ(access_numeric_id(""), 0xaf64724c8602eb6eULL);
    EXPECT_EQ(access_numeric_id("abc"), 0xfc182483ee0806dcULL);

    const AccessNode node = AccessNode(20).with_label("Network").with_id("settings.section:network");
    EXPECT_EQ(node.role, 20);
    EXPECT_EQ(node.label, "Network");
    EXPECT_EQ(node.id, "settings.section:network");
    EXPECT_EQ(node.detail, "settings.section:network");
    EXPECT_EQ(node.numeric_id, access_numeric_id("settings.section:network"));
    EXPECT_EQ(AccessNode().with_label("one").with_label("two").label, "two");  // a setter replaces
}

TEST(DispatchContext, PointerPositionsAreDividedByTheScaleFactor)
{
    DispatchContext ctx;
    ctx.scale_factor = 2.0;
    const Event click = PointerButton{.position = {300, 100}};
    EXPECT_EQ(ctx.pointer(click), (Point{150, 50}));
    EXPECT_EQ(ctx.pointer(Event(KeyDown{.key = Key::Enter})), std::nullopt);
    EXPECT_NE(click.get<PointerButton>(), nullptr);
    EXPECT_EQ(click.get<PointerMove>(), nullptr);
}

}  // namespace
}  // namespace vorn_ui
