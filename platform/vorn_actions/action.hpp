#pragma once
// An encoded operation (kind + compact JSON payload) and the error of the action model.

#include <concepts>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace vorn_actions {

// A failure of the action model. `display()` is the text shown to people and written to the log.
class ActionError {
public:
    enum class Kind : std::uint8_t {
        PayloadEncoding,    // a value could not be written as JSON
        PayloadDecoding,    // a payload could not be read; `subject()` names the decoder ("settings.action")
        InvalidArguments,   // the arguments of an invocation were refused
        UnknownAction,      // no such resource or action
        KindMismatch,       // a handler produced an operation of another kind than its action declares
        Handler,            // the action's handler failed
        Rejected,           // applying the action was refused; the message is the whole sentence
    };

    ActionError(Kind kind, std::string message, std::string subject = {})
        : kind_(kind), message_(std::move(message)), subject_(std::move(subject))
    {
    }

    [[nodiscard]] Kind kind() const { return kind_; }
    [[nodiscard]] const std::string& message() const { return message_; }
    [[nodiscard]] const std::string& subject() const { return subject_; }
    // The display text: a short sentence naming what went wrong.
    [[nodiscard]] std::string display() const;

    friend bool operator==(const ActionError&, const ActionError&) = default;

private:
    Kind kind_;
    std::string message_;
    std::string subject_;
};

// Payload types take part in EncodedAction::from_payload by providing, next to the type (found by
// argument-dependent lookup):
//   std::expected<std::string, std::string> write_action_payload(const T& value);   // compact JSON, or the reason
template <class T>
concept ActionPayload = requires(const T& value) {
    { write_action_payload(value) } -> std::same_as<std::expected<std::string, std::string>>;
};

// One operation ready to be carried to whoever handles its kind: the operation kind ("settings.display-operation",
// "settings.action", ...) and the payload, the operation's compact JSON text.
struct EncodedAction {
    std::string kind;
    std::string payload;

    // A text value, written as one JSON string (standard escapes). Fails only for text that is not UTF-8.
    [[nodiscard]] static std::expected<EncodedAction, ActionError> from_payload(std::string_view kind,
                                                                                std::string_view text);
    [[nodiscard]] static std::expected<EncodedAction, ActionError> from_payload(std::string_view kind,
                                                                                const char* text)
    {
        return from_payload(kind, std::string_view(text));
    }
    // A typed payload, written by its own writer.
    template <ActionPayload T>
    [[nodiscard]] static std::expected<EncodedAction, ActionError> from_payload(std::string_view kind,
                                                                                const T& value)
    {
        auto written = write_action_payload(value);
        if (!written) {
            return std::unexpected(ActionError(ActionError::Kind::PayloadEncoding, std::move(written.error())));
        }
        return EncodedAction{std::string(kind), std::move(*written)};
    }

    friend bool operator==(const EncodedAction&, const EncodedAction&) = default;
};

}  // namespace vorn_actions
