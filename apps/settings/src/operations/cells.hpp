#pragma once
// The state cells through which the application object and its pages share device-local operations and account
// commands, with the values they hold and the small routines pages use to take a request and report its outcome.
//
//   operation-request cell  optional PaneOperationRequest  a checked operation waiting for the page that owns it
//   operation-status cell   OperationStatus                Idle → Running{key} → Done/Failed{key, message} → Idle
//   device-mesh cell        optional DeviceMeshOperation   the Devices & Sync page's own request cell
//   account command cell    AccountCommandCell             form commands for the External Accounts page and the
//                                                          page's answers (account_commands.hpp)
//
// A page takes its request by take-and-clear (take_operation_request) and, when it has performed it, reports the
// outcome with finish_operation, which publishes only while the status cell still holds Running for an operation
// of the page's kind: an outcome that arrives after the operation was cancelled, timed out or failed because its
// page closed is dropped.
//
// The operation key names one accepted operation: the kind, ":" and the compact JSON of the decoded operation
// ("settings.power-operation:{\"SetProfile\":{\"profile\":\"Balanced\"}}").

#include "operations/account_commands.hpp"

#include "actions/payloads/codec.hpp"
#include "actions/payloads/operations.hpp"

#include "vorn_ui/state.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace settings::operations {

// The page a handed-over operation is for; the value is the page's tag.
enum class OperationPage : std::uint8_t {
    Updates = 0,
    Power = 1,
    Network = 2,
    Bluetooth = 3,
    Sound = 4,
    Displays = 5,
    Storage = 6,
    Printers = 7,
    Users = 8,
    AgentModels = 9,
};

// A checked device-local operation waiting for its page. The alternative's index is the page's tag.
struct PaneOperationRequest {
    using Operation =
        std::variant<actions::UpdateOperation, actions::PowerOperation, actions::NetworkOperation,
                     actions::BluetoothOperation, actions::AudioOperation, actions::DisplayOperation,
                     actions::StorageOperation, actions::PrinterOperation, actions::UserOperation,
                     actions::AgentModelOperation>;
    Operation operation;

    [[nodiscard]] OperationPage page() const { return static_cast<OperationPage>(operation.index()); }
    [[nodiscard]] std::uint8_t tag() const { return static_cast<std::uint8_t>(operation.index()); }
    friend bool operator==(const PaneOperationRequest&, const PaneOperationRequest&) = default;
};
// The name the page modules use for it.
using PendingOperation = PaneOperationRequest;

// The state of the one device-local operation. `key` is the operation key (empty when Idle); `message` is the
// outcome sentence of Done and the error sentence of Failed.
struct OperationStatus {
    enum class State : std::uint8_t { Idle = 0, Running = 1, Done = 2, Failed = 3 };
    State state = State::Idle;
    std::string key;
    std::string message;

    [[nodiscard]] static OperationStatus idle() { return {}; }
    [[nodiscard]] static OperationStatus running(std::string key) { return {State::Running, std::move(key), {}}; }
    [[nodiscard]] static OperationStatus done(std::string key, std::string message)
    {
        return {State::Done, std::move(key), std::move(message)};
    }
    [[nodiscard]] static OperationStatus failed(std::string key, std::string message)
    {
        return {State::Failed, std::move(key), std::move(message)};
    }

    [[nodiscard]] bool is_idle() const { return state == State::Idle; }
    // Running with exactly this key.
    [[nodiscard]] bool is_running(std::string_view operation_key) const
    {
        return state == State::Running && key == operation_key;
    }
    // Running an operation of this kind (its key starts with the kind and ":").
    [[nodiscard]] bool is_running_kind(std::string_view kind) const;
    // Done or Failed with exactly this key.
    [[nodiscard]] bool is_final_for(std::string_view operation_key) const
    {
        return (state == State::Done || state == State::Failed) && key == operation_key;
    }

    friend bool operator==(const OperationStatus&, const OperationStatus&) = default;
};

using OperationRequestCell = vorn_ui::LocalState<std::optional<PaneOperationRequest>>;
using OperationStatusCell = vorn_ui::LocalState<OperationStatus>;
using DeviceMeshRequestCell = vorn_ui::LocalState<std::optional<actions::DeviceMeshOperation>>;

// The operation key of a decoded operation.
template <actions::PayloadType Operation>
[[nodiscard]] std::string operation_key(const Operation& operation)
{
    return actions::encode_operation_payload(Operation::kind, operation);
}

// Take-and-clear for a page: when the cell holds a request of the page's vocabulary, publishes none into it and
// answers the request; a request for another page stays in place.
template <class Operation>
[[nodiscard]] std::optional<Operation> take_operation_request(const OperationRequestCell& cell)
{
    auto pending = cell.get();
    if (!pending || !std::holds_alternative<Operation>(pending->operation)) {
        return std::nullopt;
    }
    (void)cell.publish(std::nullopt);
    return std::get<Operation>(std::move(pending->operation));
}

// Reports the outcome of a handed-over operation: publishes Done {key, success text} or Failed {key, error text}
// when the cell holds Running with a key of `kind` (the running operation's key is used). Answers whether it was
// published.
bool finish_operation(const OperationStatusCell& cell, std::string_view kind,
                      const std::expected<std::string, std::string>& outcome);

// Reports the outcome of exactly one operation: publishes Done {key, success text} or Failed {key, error text} only
// while the cell holds Running with this very key, so that an outcome never answers another operation of the same
// kind that was handed over meanwhile. Answers whether it was published.
bool finish_operation_with_key(const OperationStatusCell& cell, std::string_view key,
                               const std::expected<std::string, std::string>& outcome);

}  // namespace settings::operations
