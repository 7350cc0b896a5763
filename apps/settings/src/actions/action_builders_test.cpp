// Specification builders, fixed-operation actions and control bindings.

#include "actions/control_binding.hpp"
#include "actions/operation_actions.hpp"
#include "actions/parsers.hpp"
#include "actions/action_builders.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace settings::actions {
namespace {

using nlohmann::ordered_json;
using vorn_actions::ActionArgs;
using vorn_actions::ActionError;
using vorn_actions::EffectSetting;
using vorn_actions::EncodedAction;
using vorn_actions::Resource;

std::expected<EncodedAction, ActionError> invoke(const ActionSpec& spec, ordered_json args = ordered_json::object())
{
    return spec.build_json(args);
}

TEST(SpecBuilders, TypedSpecificationChecksItsKind)
{
    const ActionSpec volume = new_action_spec("volume", "Set output volume", hints::level, effect_operation,
                                              AudioOperation::kind, {level_param()}, output_volume_parser());
    EXPECT_EQ(volume.operation_kind, "settings.audio-operation");
    EXPECT_EQ(volume.input->hint, "A value from 0 to 1");
    EXPECT_TRUE(volume.contract.tags.empty());
    EXPECT_FALSE(volume.contract.result_schema.has_value());
    EXPECT_EQ(volume.contract.effects, EffectSetting::Operation);
    EXPECT_FALSE(volume.is_privileged || volume.is_destructive);
    EXPECT_EQ(invoke(volume, {{"value", 0.5}})->payload, R"({"SetOutputVolume":{"value":0.5}})");

    // A parser that answers another kind than its action declares is caught by the kind check.
    const ActionSpec wrong = new_action_spec("volume", "Set output volume", hints::level, effect_operation,
                                             PowerOperation::kind, {level_param()}, output_volume_parser());
    EXPECT_EQ(invoke(wrong, {{"value", 0.5}}).error().kind(), ActionError::Kind::KindMismatch);
    // An absent level is refused, never read as 0.
    EXPECT_EQ(invoke(volume).error().message(), "volume needs a number for value, and none was given");

    // Without a kind (set-setting actions) the parser's answer is passed on unchecked.
    const ActionSpec unchecked = new_action_spec("x", "X", hints::on_off, effect_setting, std::nullopt,
                                                 {switch_param()}, output_muted_parser());
    EXPECT_FALSE(unchecked.operation_kind.has_value());
    EXPECT_EQ(invoke(unchecked)->kind, "settings.audio-operation");

    const ActionSpec navigation = new_action_spec("open", "Open", "", effect_navigation, std::nullopt, {},
                                                  [](const ActionArgs&) { return EncodedAction{}; });
    EXPECT_EQ(navigation.contract.effects, EffectSetting::Navigation);

    // Copies share the handler's captures: the copy answers exactly like the original.
    const ActionSpec copy = volume;
    EXPECT_EQ(invoke(copy, {{"value", 0.75}}), invoke(volume, {{"value", 0.75}}));
}

TEST(SpecBuilders, ParameterShapesAndContractPresets)
{
    EXPECT_EQ(level_param().schema, (ordered_json{{"minimum", 0.0}, {"maximum", 1.0}}));
    EXPECT_EQ(switch_param(param_titles::local_preference).title, "Whether this local preference is enabled");
    const ActionParam choice = choice_param({"Daily", "Weekly"});
    EXPECT_EQ(choice.name, "choice");
    EXPECT_THAT(choice.choices, ::testing::ElementsAre("Daily", "Weekly"));

    const ActionContract device = device_local_contract({"device-local", "audio", "hardware"});
    EXPECT_THAT(device.tags, ::testing::ElementsAre("device-local", "audio", "hardware"));
    EXPECT_EQ(device.result_schema, (ordered_json{{"type", "string"}}));
    const ActionContract system = system_setting_contract();
    EXPECT_THAT(system.tags, ::testing::ElementsAre("configuration", "system-setting"));
    EXPECT_FALSE(system.result_schema.has_value());
}

TEST(OperationSpecs, FixedOperationsIgnoreArguments)
{
    const auto check = operation_spec_builder("check", "Check for updates", effect_operation, UpdateOperation::kind,
                                              UpdateOperation(UpdateOperation::Check{}));
    ASSERT_TRUE(check.has_value());
    EXPECT_TRUE(check->params.empty());
    EXPECT_FALSE(check->operation_kind.has_value());
    EXPECT_FALSE(check->input.has_value());
    const EncodedAction expected{"settings.update-operation", "\"Check\""};
    EXPECT_EQ(invoke(*check), expected);
    EXPECT_EQ(invoke(*check, {{"value", true}, {"choice", "x"}}), expected);

    const auto open = text_operation_spec_builder("open", "Open Displays", effect_navigation, open_pane_kind,
                                                  "displays");
    EXPECT_EQ(invoke(*open), (EncodedAction{"settings.open-pane", "\"displays\""}));
    EXPECT_EQ(open->contract.effects, EffectSetting::Navigation);

    EXPECT_EQ(encode_operation_payload(StorageOperation::kind, StorageOperation(StorageOperation::CleanupCaches{})),
              "settings.storage-operation:\"CleanupCaches\"");
    EXPECT_EQ(operation_action(DisplayOperation(DisplayOperation::SetBrightness{0.4})),
              (EncodedAction{"settings.display-operation", R"({"SetBrightness":{"value":0.4}})"}));
}

TEST(OperationSpecs, ContractsAndFlagsPerVocabulary)
{
    const auto test = operation_spec("test", "Verify sign-in", AccountOperation(AccountOperation::Test{"a1"}),
                                     effect_operation);
    EXPECT_THAT(test->contract.tags, ::testing::ElementsAre("device-local", "accounts", "network-probe"));
    const auto edit = operation_spec("edit", "Edit", AccountOperation(AccountOperation::Edit{"a1"}), effect_navigation);
    EXPECT_TRUE(edit->contract.tags.empty());
    EXPECT_EQ(edit->contract.effects, EffectSetting::Navigation);

    const auto provider = operation_spec("remove", "Remove provider",
                                         AgentProviderOperation(AgentProviderOperation::Remove{"p1"}));
    EXPECT_THAT(provider->contract.tags, ::testing::ElementsAre("device-local", "agent-provider"));
    EXPECT_FALSE(provider->contract.result_schema.has_value());

    const auto select = operation_spec("select", "Use as output device",
                                       AudioOperation(AudioOperation::SelectOutput{41}),
                                       {"device-local", "audio", "live-device"});
    EXPECT_EQ(select->contract.result_schema, (ordered_json{{"type", "string"}}));
    const auto up = operation_spec("move-up", "Move up", KeyboardSourceOperation(KeyboardSourceOperation::MoveUp{1}));
    EXPECT_THAT(up->contract.tags, ::testing::ElementsAre("device-local", "input-source"));
}

TEST(OperationSpecs, RemovingAUserIsDestructive)
{
    struct Case {
        UserOperation operation;
        bool destructive;
    };
    const std::array cases{
        Case{UserOperation::Remove{"ada", false}, true},
        Case{UserOperation::Remove{"ada", true}, true},
        Case{UserOperation::SetAdmin{"ada", true}, false},
        Case{UserOperation::SetAutologin{"ada", true}, false},
    };
    for (const Case& c : cases) {
        const auto spec = operation_spec_builder("x", "X", effect_operation, UserOperation::kind, c.operation);
        ASSERT_TRUE(spec.has_value());
        EXPECT_EQ(spec->is_destructive, c.destructive) << encode_operation_payload(UserOperation::kind, c.operation);
    }
}

Resource displays_resource()
{
    return Resource("settings.section:displays", "settings.section", "Displays")
        .with_action(new_action_spec("auto_brightness", "Set automatic brightness", hints::on_off_device,
                                     effect_operation, DisplayOperation::kind, {switch_param()},
                                     auto_brightness_parser()))
        .with_action(new_action_spec("brightness", "Set brightness", hints::level, effect_operation,
                                     DisplayOperation::kind, {level_param()}, brightness_parser()))
        .with_action(new_action_spec("scale", "Set display scale", hints::choice_device, effect_operation,
                                     DisplayOperation::kind, {choice_param({"100%", "125%"})}, display_scale_parser()))
        .with_action(new_action_spec("set-charge-cap", "Set battery charge cap", hints::charge_cap, effect_operation,
                                     PowerOperation::kind,
                                     {ActionParam("percent", "Charge percentage", vorn_actions::ParamType::Text)},
                                     charge_limit_parser(100)))
        .with_action(new_action_spec(
            "compose-key", "Set compose key", hints::input_preference, effect_operation, InputOperation::kind,
            {ActionParam("label", "Label", vorn_actions::ParamType::Text),
             ActionParam("choice", std::string(param_titles::device_local_input_value), vorn_actions::ParamType::Text)},
            input_choice_parser(&make_compose_key, "Disabled")));
}

TEST(ControlBinding, ValuesBecomeInvocations)
{
    const Resource resource = displays_resource();
    const auto toggle = bind_toggle(resource, "auto_brightness");
    EXPECT_EQ(encode_control_invocation(*toggle, false)->arguments.json(), (ordered_json{{"value", false}}));
    EXPECT_EQ(encode_control_invocation(*toggle, false)->resource_id, "settings.section:displays");

    const auto slider = bind_slider(resource, "brightness");
    EXPECT_EQ(encode_control_invocation(*slider, 0.5)->arguments.json(), (ordered_json{{"value", 0.5}}));
    // A level that is not a number is never sent (it would read as 0 further down).
    const auto not_a_level = encode_control_invocation(*slider, std::nan(""));
    ASSERT_FALSE(not_a_level.has_value());
    EXPECT_EQ(not_a_level.error().kind(), ActionError::Kind::InvalidArguments);

    const auto dropdown = bind_choice(resource, "scale");
    EXPECT_EQ(encode_control_invocation(*dropdown, std::string("125%"))->arguments.json(),
              (ordered_json{{"choice", "125%"}}));
    const auto cap = bind_percent(resource, "set-charge-cap");
    EXPECT_EQ(encode_control_invocation(*cap, std::string("80%"))->arguments.json(), (ordered_json{{"percent", "80%"}}));

    // "choice" wins over "label" when a specification has both.
    const auto compose = bind_named_choice(resource, "compose-key");
    EXPECT_EQ(encode_control_invocation(*compose, std::string("Menu"))->arguments.json(),
              (ordered_json{{"choice", "Menu"}}));

    const auto missing = bind_toggle(resource, "night_light");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error(), (BindingError{"settings.section:displays", "night_light"}));
    EXPECT_EQ(bind_named_choice(resource, "none").error().action_id, "none");

    // A value the action refuses produces no invocation.
    const auto wrongly_bound = bind_value_closure<std::string>(resource, "brightness", &choice_arguments);
    ASSERT_TRUE(wrongly_bound.has_value());
    // Only an undeclared member: the level is missing, and brightness is not set to 0.
    EXPECT_EQ(encode_control_invocation(*wrongly_bound, std::string("x")).error().kind(),
              ActionError::Kind::InvalidArguments);
    const auto text_level = bind_value_closure<std::string>(
        resource, "brightness", [](const std::string& text) { return ordered_json{{"value", text}}; });
    EXPECT_EQ(encode_control_invocation(*text_level, std::string("bright")).error().kind(),
              ActionError::Kind::InvalidArguments);
}

}  // namespace
}  // namespace settings::actions
