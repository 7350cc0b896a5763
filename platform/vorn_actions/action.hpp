#pragma once
// An encoded operation (kind + compact JSON payload) and the error of the action model.

#include <cstdint>
#include <string>
#include <string_view>

namespace vorn_actions {

// One operation ready to be carried to whoever handles its kind: the operation kind ("settings.display-operation",
// "settings.action", ...) and the payload, the operation's compact JSON text.
struct EncodedAction {
    std::string kind;
    std::string payload;

    friend bool operator==(const EncodedAction&, const EncodedAction&) = default;
};

// A failure of the action model. `display()` is the text shown to people and written to the log.
class ActionError {
public:
    enum class Kind : std::uint8_t {
        PayloadEncoding,    // a value could not be written as JSON
        InvalidArguments,   // the arguments of an invocation were refused
        UnknownAction,      // no such resource or action
        KindMismatch,       // a handler produced an operation of another kind than its action declares
        Handler,            // the action's handler failed
    };

    ActionError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

    [[nodiscard]] Kind kind() const { return kind_; }
    [[nodiscard]] const std::string& message() const { return message_; }
    // The display text: a short sentence naming what went wrong.
    [[nodiscard]] std::string display() const;

    friend bool operator==(const ActionError&, const ActionError&) = default;

private:
    Kind kind_;
    std::string message_;
};

}  // namespace vorn_actions
