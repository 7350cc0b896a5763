#include "vorn_actions/action.hpp"

#include <nlohmann/json.hpp>

namespace vorn_actions {

std::string ActionError::display() const
{
    switch (kind_) {
    case Kind::PayloadEncoding: return "could not encode the action payload: " + message_;
    case Kind::PayloadDecoding:
        return subject_.empty() ? "could not decode the action payload: " + message_
                                : "could not decode the " + subject_ + " payload: " + message_;
    case Kind::InvalidArguments: return "invalid action arguments: " + message_;
    case Kind::UnknownAction: return "unknown action: " + message_;
    case Kind::KindMismatch: return "action produced an operation of the wrong kind: " + message_;
    case Kind::Handler:
    case Kind::Rejected: return message_;
    }
    return message_;
}

std::expected<EncodedAction, ActionError> EncodedAction::from_payload(std::string_view kind, std::string_view text)
{
    std::string payload;
    payload.reserve(text.size() + 2);
    try {
        payload = nlohmann::json(std::string(text)).dump();
    } catch (const nlohmann::json::exception& error) {
        return std::unexpected(ActionError(ActionError::Kind::PayloadEncoding, error.what()));
    }
    return EncodedAction{std::string(kind), std::move(payload)};
}

}  // namespace vorn_actions
