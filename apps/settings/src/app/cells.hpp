#pragma once
// The state cells the application object shares with the sidebar, the search field, the pages and the
// device-local operation runner.
//
// Request cells are taken by take-and-clear: the page that acts on a request first publishes none into the cell and
// then acts on its copy; a request addressed to another page stays in place.

#include "actions/payloads/operations.hpp"
#include "sections/section.hpp"
#include "vorn_ui/state.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace settings::app {

// A device-local operation handed to the page that performs it. The page is named by `tag()`:
// 0 updates, 1 power, 2 network, 3 Bluetooth, 4 sound, 5 displays, 6 storage, 7 printers, 8 users, 9 agent models.
struct PaneOperationRequest {
    using Operation = std::variant<actions::UpdateOperation, actions::PowerOperation, actions::NetworkOperation,
                                   actions::BluetoothOperation, actions::AudioOperation, actions::DisplayOperation,
                                   actions::StorageOperation, actions::PrinterOperation, actions::UserOperation,
                                   actions::AgentModelOperation>;
    Operation operation;

    [[nodiscard]] std::uint8_t tag() const { return static_cast<std::uint8_t>(operation.index()); }
};

// The state of the one device-local operation: none, running, or finished. `key` is the operation key: the
// operation kind, ":" and the compact JSON of the decoded operation.
struct OperationStatus {
    enum class State : std::uint8_t { Idle = 0, Running = 1, Done = 2, Failed = 3 };
    State state = State::Idle;
    std::string key;
    std::string message;  // Done: the outcome; Failed: the error

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
    friend bool operator==(const OperationStatus&, const OperationStatus&) = default;
};

// A request for the External Accounts page: 0 add (with an account kind code 0 mail, 1 caldav, 2 webdav,
// 3 nextcloud), 1 edit (id), 2 re-authenticate (id), 3 submit the form, 4 cancel the form, 5 submit the
// re-authentication, 6 cancel the re-authentication.
struct AccountsPageRequest {
    std::uint8_t code = 0;
    std::optional<std::uint8_t> account_kind;
    std::string id;
    friend bool operator==(const AccountsPageRequest&, const AccountsPageRequest&) = default;
};

using SectionRequestCell = vorn_ui::LocalState<std::optional<Section>>;
using SearchTextCell = vorn_ui::LocalState<std::string>;
using OperationRequestCell = vorn_ui::LocalState<std::optional<PaneOperationRequest>>;
using OperationStatusCell = vorn_ui::LocalState<OperationStatus>;
using AccountStateCell = vorn_ui::LocalState<std::optional<AccountsPageRequest>>;
using MeshStateCell = vorn_ui::LocalState<std::optional<actions::DeviceMeshOperation>>;

}  // namespace settings::app
