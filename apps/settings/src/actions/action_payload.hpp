#pragma once
// The operation payloads as action payloads: EncodedAction::from_payload(kind, operation) writes any operation
// vocabulary or SettingsAction with the payload codec (compact JSON).
//
//   auto encoded = vorn_actions::EncodedAction::from_payload(DisplayOperation::kind, operation);
//   EncodedAction action = operation_action(operation);   // never fails: an empty payload when writing fails

#include "actions/payloads/codec.hpp"
#include "vorn_actions/action.hpp"

#include <expected>
#include <string>

namespace settings::actions {

// Found by argument-dependent lookup from vorn_actions::EncodedAction::from_payload.
template <PayloadType T>
std::expected<std::string, std::string> write_action_payload(const T& value)
{
    return encode_payload(value, JsonStyle::Compact);
}

// The operation encoded under its vocabulary's kind; the kind with an empty payload when it cannot be written
// (which no decoder accepts).
template <PayloadType T>
[[nodiscard]] vorn_actions::EncodedAction operation_action(const T& operation)
{
    auto encoded = vorn_actions::EncodedAction::from_payload(T::kind, operation);
    if (!encoded) {
        return vorn_actions::EncodedAction{std::string(T::kind), {}};
    }
    return std::move(*encoded);
}

}  // namespace settings::actions
