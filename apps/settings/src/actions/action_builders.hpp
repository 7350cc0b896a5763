#pragma once
// The builders of action specifications with parameters: the typed constructor, the three standard parameter
// shapes and the two contract presets. Every caller follows one order:
//
//   ActionSpec spec = new_action_spec("auto_suspend", "Set automatic suspend", hints::on_off_device,
//                                     effect_operation, PowerOperation::kind, {switch_param()},
//                                     power_auto_suspend_parser())
//                         .with_contract(device_local_contract({"device-local", "power"}));
//   section = std::move(section).with_action(std::move(spec));            // (.privileged() / .destructive() first
//                                                                          //  where the catalogue says so)
//
// A specification built with an operation kind checks every operation its parser produces against that kind
// (vorn_actions::enforce_operation_type); one built without a kind (the set-setting actions) answers its parser's
// action directly. The hint is kept only in the input description.

#include "vorn_actions/action.hpp"
#include "vorn_actions/args.hpp"
#include "vorn_actions/resource.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::actions {

using vorn_actions::ActionContract;
using vorn_actions::ActionParam;
using vorn_actions::ActionSpec;

// Effect classes.
inline constexpr std::uint8_t effect_setting = 0;     // set-setting actions ("settings.action")
inline constexpr std::uint8_t effect_operation = 1;   // an operation of a domain ("settings.<domain>-operation")
inline constexpr std::uint8_t effect_navigation = 2;  // opens a page, a form or a review

// Reads the arguments of one invocation and answers the encoded operation. Absent switches, choices and texts fall
// back to defaults; an absent or non-finite number is refused, never read as 0. Its captures are fixed when the
// action is built and shared by every copy of the action spec.
using Parser =
    std::function<std::expected<vorn_actions::EncodedAction, vorn_actions::ActionError>(const vorn_actions::ActionArgs&)>;

// Everything the typed constructor gathers before it makes the action spec.
struct ActionSpecDraft {
    std::string id;
    std::string title;
    std::string hint;
    std::vector<ActionParam> params;
    std::optional<std::string> operation_kind;
    std::uint8_t effect_class = effect_operation;
    Parser parser;
};

// A complete specification: the parameters and kind as given, the input description derived from the parameters
// and the hint, the parser as the handler (behind the kind check when there is a kind), and the default contract
// of the effect class; neither privileged nor destructive.
[[nodiscard]] ActionSpec new_action_spec(std::string_view id, std::string_view title, std::string_view hint,
                                         std::uint8_t effect_class, std::optional<std::string_view> operation_kind,
                                         std::vector<ActionParam> params, Parser parser);
[[nodiscard]] ActionSpec typed_action_spec(ActionSpecDraft draft);

// No tags, no result schema; the navigation setting for effect class 2, the operation setting otherwise.
[[nodiscard]] ActionContract default_contract(std::uint8_t effect_class);
// The given tags in order, the result schema {"type": "string"}, the operation setting.
[[nodiscard]] ActionContract device_local_contract(std::vector<std::string> tags);
// The tags "configuration", "system-setting", no result schema, the operation setting.
[[nodiscard]] ActionContract system_setting_contract();

// The standard parameter shapes.
// Switch: "value", boolean.
[[nodiscard]] ActionParam switch_param(std::string_view title = "Enabled");
// Level: "value", number, with the schema {"minimum": 0.0, "maximum": 1.0}.
[[nodiscard]] ActionParam level_param(std::string_view title = "Value");
// Choice: "choice", text, offering `choices` in order.
[[nodiscard]] ActionParam choice_param(std::vector<std::string> choices, std::string_view title = "Choice");

// Parameter titles used with the standard shapes.
namespace param_titles {
inline constexpr std::string_view enabled = "Enabled";
inline constexpr std::string_view local_preference = "Whether this local preference is enabled";
inline constexpr std::string_view local_time_control = "Whether this local time control is enabled";
inline constexpr std::string_view local_service = "Whether this local service is enabled";
inline constexpr std::string_view workspace_available = "Whether this workspace is available on this device";
inline constexpr std::string_view setting_on = "Whether this setting is on";
inline constexpr std::string_view value = "Value";
inline constexpr std::string_view local_input_value = "New local input value";
inline constexpr std::string_view choice = "Choice";
inline constexpr std::string_view device_local_input_value = "Device-local input value";
inline constexpr std::string_view device_local_value = "Device-local value";
inline constexpr std::string_view new_setting_value = "New setting value";
}  // namespace param_titles

// Hints.
namespace hints {
inline constexpr std::string_view on_off_device = "On or off on this device";
inline constexpr std::string_view level = "A value from 0 to 1";
inline constexpr std::string_view input_level = "0.0 \u2013 1.0";
inline constexpr std::string_view choice_device = "Choose a value available on this device";
inline constexpr std::string_view charge_cap = "Choose a supported charge percentage";
inline constexpr std::string_view keyboard_layout = "Choose an installed keyboard layout";
inline constexpr std::string_view timezone = "IANA time-zone identifier";
inline constexpr std::string_view provider_name = "Provider name";
inline constexpr std::string_view input_preference = "Choose an input preference";
inline constexpr std::string_view choose_value = "Choose a value";
inline constexpr std::string_view on_off = "On or off";
inline constexpr std::string_view shortcut = "e.g. Super+K";
}  // namespace hints

}  // namespace settings::actions
