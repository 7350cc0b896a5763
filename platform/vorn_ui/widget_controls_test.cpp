// Commit, control bindings and invocations.

#include "vorn_ui/testing/probe_widget.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn_ui {
namespace {

using testing::CallLog;
using testing::ProbeWidget;
using ::testing::ElementsAre;

ControlActionBinding action_binding(std::string key, std::string resource, std::string_view action)
{
    return {std::move(key), ControlBindingTarget::action({std::move(resource), action})};
}

ControlInvocation invocation(std::string action_id)
{
    return {"settings.section:display", std::move(action_id), vorn_actions::ActionArgs().with("value", true)};
}

struct Pair {
    CallLog log;
    ProbeWidget parent{"P", &log};
    ProbeWidget& first = parent.add("C1");
    ProbeWidget& second = parent.add("C2");
};

TEST(WidgetCommit, NeedsCommitStopsAskingAfterTheFirstYes)
{
    Pair p;
    p.first.commit = true;
    p.second.commit = true;
    EXPECT_TRUE(p.parent.needs_commit());
    EXPECT_THAT(testing::calls_of(p.log, "commit?"), ElementsAre("P", "C1"));

    ProbeWidget leaf("leaf");
    EXPECT_FALSE(leaf.needs_commit());
}

TEST(WidgetCommit, OnCommitAndRefreshReachEveryChild)
{
    struct Everything : ActionAvailability {
        [[nodiscard]] bool is_available(const vorn_actions::ActionAddress&) const override { return true; }
    } availability;
    Pair p;
    p.parent.on_commit();
    p.parent.refresh_control_action_availability(availability);
    EXPECT_THAT(testing::calls_of(p.log, "on_commit"), ElementsAre("P", "C1", "C2"));
    EXPECT_THAT(testing::calls_of(p.log, "refresh"), ElementsAre("P", "C1", "C2"));
}

TEST(WidgetInvocations, OneInvocationLeavesTheTreePerCall)
{
    Pair p;
    p.first.invocations = {invocation("brightness")};
    p.second.invocations = {invocation("night_light")};
    EXPECT_EQ(p.parent.take_control_invocation(), invocation("brightness"));
    EXPECT_THAT(testing::calls_of(p.log, "invocation"), ElementsAre("P", "C1"));
    EXPECT_EQ(p.parent.take_control_invocation(), invocation("night_light"));
    EXPECT_EQ(p.parent.take_control_invocation(), std::nullopt);
}

TEST(WidgetInvocations, PaneDescriptorIsTheFirstChildsContext)
{
    Pair p;
    vorn_actions::ActionContext context;
    context.label = "Change accessibility preferences";
    p.second.descriptor = context;
    EXPECT_EQ(p.parent.pane_descriptor(), context);
    EXPECT_EQ(p.parent.pane_descriptor(), std::nullopt);  // the probe handed its context over
    ProbeWidget leaf("leaf");
    EXPECT_EQ(leaf.pane_descriptor(), std::nullopt);
}

TEST(WidgetBindings, OwnNodeBindingsComeFirstThenEachChildsSubtree)
{
    Pair p;
    p.parent.node = AccessNode().with_binding(action_binding("own", "r", "a"));
    p.first.node = AccessNode().with_binding(action_binding("c1", "r", "b"));
    ProbeWidget& grandchild = p.first.add("G");
    grandchild.node = AccessNode().with_binding(action_binding("g", "r", "c"));
    p.second.node = AccessNode().with_binding(action_binding("c2", "r", "d"));

    std::vector<std::string> keys;
    for (const ControlActionBinding& binding : p.parent.control_action_bindings()) {
        keys.push_back(binding.key);
    }
    EXPECT_THAT(keys, ElementsAre("own", "c1", "g", "c2"));
    EXPECT_TRUE(p.parent.has_action_control_bindings());
}

TEST(WidgetBindings, OnlyActionTargetsCountAsActionBindings)
{
    ProbeWidget w("W");
    EXPECT_TRUE(w.control_action_bindings().empty());  // no node: nothing
    EXPECT_FALSE(w.has_action_control_bindings());

    w.node = AccessNode()
                 .with_binding({"key", ControlBindingTarget::with_text(ControlBindingTarget::Kind::DocumentKey, "k")})
                 .with_binding({"inert", ControlBindingTarget{}});
    EXPECT_EQ(w.control_action_bindings().size(), 2U);
    EXPECT_FALSE(w.has_action_control_bindings());

    w.node = std::move(*w.node).with_binding(action_binding("act", "settings.section:power", "open"));
    EXPECT_TRUE(w.has_action_control_bindings());
}

}  // namespace
}  // namespace vorn_ui
