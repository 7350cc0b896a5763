#include "actions/operation_actions.hpp"

#include <memory>

namespace settings::actions {

using vorn_actions::ActionArgs;
using vorn_actions::ActionError;
using vorn_actions::EncodedAction;

ActionSpec operation_spec_builder(std::string_view id, std::string_view title, std::uint8_t effect_class,
                                  EncodedAction action)
{
    ActionSpec spec{std::string(id), std::string(title)};
    spec.effect_class = effect_class;
    spec.contract = default_contract(effect_class);
    auto stored = std::make_shared<const EncodedAction>(std::move(action));
    spec.handler = [stored](const ActionArgs& /*args*/) -> std::expected<EncodedAction, ActionError> {
        return *stored;
    };
    return spec;
}

std::expected<ActionSpec, ActionError> operation_spec_builder(std::string_view id, std::string_view title,
                                                              std::uint8_t effect_class, std::string_view kind,
                                                              const UserOperation& payload)
{
    auto encoded = EncodedAction::from_payload(kind, payload);
    if (!encoded) {
        return std::unexpected(std::move(encoded.error()));
    }
    ActionSpec spec = operation_spec_builder(id, title, effect_class, std::move(*encoded));
    if (std::holds_alternative<UserOperation::Remove>(payload.value)) {
        spec.is_destructive = true;
    }
    return spec;
}

std::expected<ActionSpec, ActionError> text_operation_spec_builder(std::string_view id, std::string_view title,
                                                                   std::uint8_t effect_class, std::string_view kind,
                                                                   std::string_view text)
{
    auto encoded = EncodedAction::from_payload(kind, text);
    if (!encoded) {
        return std::unexpected(std::move(encoded.error()));
    }
    return operation_spec_builder(id, title, effect_class, std::move(*encoded));
}

namespace {

template <PayloadType T>
std::optional<ActionSpec> fixed(std::string_view id, std::string_view title, const T& operation,
                                std::uint8_t effect_class, std::optional<ActionContract> contract)
{
    auto spec = operation_spec_builder(id, title, effect_class, T::kind, operation);
    if (!spec) {
        return std::nullopt;
    }
    if (contract) {
        return std::move(*spec).with_contract(std::move(*contract));
    }
    return std::move(*spec);
}

}  // namespace

std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title, const AudioOperation& operation,
                                         std::vector<std::string> tags)
{
    return fixed(id, title, operation, effect_operation, device_local_contract(std::move(tags)));
}

std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                         const PrinterOperation& operation, std::vector<std::string> tags)
{
    return fixed(id, title, operation, effect_operation, device_local_contract(std::move(tags)));
}

std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                         const BluetoothOperation& operation, std::vector<std::string> tags)
{
    return fixed(id, title, operation, effect_operation, device_local_contract(std::move(tags)));
}

std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                         const AgentModelOperation& operation, std::vector<std::string> tags)
{
    return fixed(id, title, operation, effect_operation, device_local_contract(std::move(tags)));
}

std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                         const KeyboardSourceOperation& operation)
{
    return fixed(id, title, operation, effect_operation, device_local_contract({"device-local", "input-source"}));
}

std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                         const AccountOperation& operation, std::uint8_t effect_class)
{
    std::optional<ActionContract> contract;
    if (std::holds_alternative<AccountOperation::Test>(operation.value)) {
        contract = device_local_contract({"device-local", "accounts", "network-probe"});
    }
    return fixed(id, title, operation, effect_class, std::move(contract));
}

std::optional<ActionSpec> operation_spec(std::string_view id, std::string_view title,
                                         const AgentProviderOperation& operation)
{
    ActionContract contract;
    contract.tags = {"device-local", "agent-provider"};
    contract.effects = vorn_actions::EffectSetting::Operation;
    return fixed(id, title, operation, effect_operation, std::move(contract));
}

}  // namespace settings::actions
