#pragma once
// Fixed-operation actions: actions without parameters whose operation is known when the section builder creates
// them ("Check for updates", "Forget device", "Use as output device"). The operation is encoded once; the handler
// answers a copy of it whatever the arguments.
//
//   operation_spec_builder("check", "Check for updates", effect_operation, UpdateOperation::kind,
//                          UpdateOperation(UpdateOperation::Check{}))        // -> expected<ActionSpec, ActionError>
//   operation_spec("forget", "Forget device", BluetoothOperation(BluetoothOperation::Forget{path}),
//                  {"device-local", "bluetooth", "destructive", "live-device"})   // -> optional<ActionSpec>
//
// A fixed-operation specification has no parameters, no input description and no operation kind (the kind lives
// in its stored action), and the default contract of its effect class until the caller attaches another.
// The typed encoders operation_action (action_payload.hpp) and encode_operation_payload (payloads/codec.hpp)
// complete the family.

#include "actions/action_payload.hpp"
#include "actions/payloads/operations.hpp"
#include "actions/action_builders.hpp"
#include "vorn_actions/action.hpp"
#include "vorn_actions/resource.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::actions {

// The fixed-operation specification for an action that is already encoded (stored unchanged).
[[nodiscard]] ActionSpec operation_spec_builder(std::string_view id, std::string_view title, std::uint8_t effect_class,
                                                vorn_actions::EncodedAction action);

// The payload encoded under `kind`; the encoder's error when it cannot be written (nothing is built).
template <PayloadType T>
[[nodiscard]] std::expected<ActionSpec, vorn_actions::ActionError> operation_spec_builder(
    std::string_view id, std::string_view title, std::uint8_t effect_class, std::string_view kind, const T& payload)
{
    auto encoded = vorn_actions::EncodedAction::from_payload(kind, payload);
    if (!encoded) {
        return std::unexpected(std::move(encoded.error()));
    }
    return operation_spec_builder(id, title, effect_class, std::move(*encoded));
}

// User operations: as above, and removing a user (which may delete the home directory) is marked destructive
// whatever the caller does.
[[nodiscard]] std::expected<ActionSpec, vorn_actions::ActionError> operation_spec_builder(
    std::string_view id, std::string_view title, std::uint8_t effect_class, std::string_view kind,
    const UserOperation& payload);

// A text payload written as one JSON string (the section id of an "open" action under "settings.open-pane").
[[nodiscard]] std::expected<ActionSpec, vorn_actions::ActionError> text_operation_spec_builder(
    std::string_view id, std::string_view title, std::uint8_t effect_class, std::string_view kind,
    std::string_view text);

// Fixed-operation actions of one vocabulary with its kind, effect class 1 and its contract; none when the
// operation cannot be encoded (the section builder then leaves the action out).
// Audio, printer, Bluetooth and agent-model actions: the device-local contract with the caller's tags.
[[nodiscard]] std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                                       const AudioOperation& operation, std::vector<std::string> tags);
[[nodiscard]] std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                                       const PrinterOperation& operation, std::vector<std::string> tags);
[[nodiscard]] std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                                       const BluetoothOperation& operation,
                                                       std::vector<std::string> tags);
[[nodiscard]] std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                                       const AgentModelOperation& operation,
                                                       std::vector<std::string> tags);
// Keyboard sources: the device-local contract with "device-local", "input-source".
[[nodiscard]] std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                                       const KeyboardSourceOperation& operation);
// Accounts: the caller's effect class; only Test carries a contract of its own (device-local, with
// "device-local", "accounts", "network-probe").
[[nodiscard]] std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                                       const AccountOperation& operation, std::uint8_t effect_class);
// Agent providers: the tags "device-local", "agent-provider" without a result schema.
[[nodiscard]] std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                                       const AgentProviderOperation& operation);

}  // namespace settings::actions
