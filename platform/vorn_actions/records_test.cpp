#include "vorn_actions/context.hpp"
#include "vorn_actions/resource.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn_actions {
namespace {

using ::testing::ElementsAre;

TEST(Resource, BuildersAppendInOrder)
{
    ActionSpec open("open", "Open Power");
    open.effect_class = 2;
    const Resource power = Resource("settings.section:power", "settings.section", "Power")
                               .with_action(std::move(open))
                               .with_action(ActionSpec("suspend", "Set automatic suspend"))
                               .with_child(Resource("settings.battery:0", "settings.battery", "Battery"));
    EXPECT_EQ(power.kind, "settings.section");
    std::vector<std::string> ids;
    for (const ActionSpec& spec : power.actions) {
        ids.push_back(spec.id);
    }
    EXPECT_THAT(ids, ElementsAre("open", "suspend"));
    ASSERT_EQ(power.children.size(), 1U);
    EXPECT_EQ(power.children[0].id, "settings.battery:0");
    EXPECT_TRUE(power.children[0].children.empty() && power.children[0].actions.empty());
    ASSERT_NE(power.find_action("suspend"), nullptr);
    EXPECT_EQ(power.find_action("suspend")->title, "Set automatic suspend");
    EXPECT_EQ(power.find_action("missing"), nullptr);
}

TEST(ActionSpec, FlagsAndContract)
{
    ActionSpec fresh("forget", "Forget network");
    EXPECT_FALSE(fresh.is_privileged || fresh.is_destructive);
    EXPECT_TRUE(fresh.contract.tags.empty());

    ActionContract contract{.tags = {"device-local", "network"},
                            .result_schema = nlohmann::ordered_json{{"type", "string"}},
                            .effects = EffectSetting::Operation};
    const ActionSpec spec = std::move(fresh).with_contract(contract).destructive().privileged();
    EXPECT_TRUE(spec.is_privileged);
    EXPECT_TRUE(spec.is_destructive);
    EXPECT_EQ(spec.contract, contract);
    const ActionSpec copy = spec;  // specifications are copied into bindings
    EXPECT_EQ(copy.contract.tags, contract.tags);
}

TEST(ActionArgs, ReadersAnswerOnlyTheRightType)
{
    const ActionArgs args = ActionArgs().with("value", true).with("level", 0.25).with("count", 3).with("choice", "dark");
    EXPECT_EQ(args.boolean("value"), true);
    EXPECT_EQ(args.number("level"), 0.25);
    EXPECT_EQ(args.number("count"), 3.0);  // integers read as numbers
    EXPECT_EQ(args.text("choice"), "dark");

    EXPECT_EQ(args.boolean("choice"), std::nullopt);
    EXPECT_EQ(args.number("value"), std::nullopt);
    EXPECT_EQ(args.text("level"), std::nullopt);
    EXPECT_EQ(args.text("missing"), std::nullopt);

    // Insertion order is kept, and a replaced argument keeps its place.
    ActionArgs ordered = ActionArgs().with("z", 1).with("a", 2);
    ordered.set("z", 3);
    EXPECT_EQ(ordered.json().dump(), R"({"z":3,"a":2})");

    EXPECT_THROW((void)ActionArgs(nlohmann::ordered_json::array()), std::invalid_argument);
}

TEST(ActionError, DisplayNamesTheFailure)
{
    const ActionError error(ActionError::Kind::UnknownAction, "settings.section:nowhere/open");
    EXPECT_EQ(error.display(), "unknown action: settings.section:nowhere/open");
    EXPECT_EQ(ActionError(ActionError::Kind::Handler, "display brightness must be between 0 and 1").display(),
              "display brightness must be between 0 and 1");
}

TEST(ControlInvocation, CarriesItsAddress)
{
    const ControlInvocation invocation{"vorn.control:save", "invoke", ActionArgs()};
    EXPECT_EQ(invocation.address(), (ActionAddress{"vorn.control:save", "invoke"}));
}

}  // namespace
}  // namespace vorn_actions
