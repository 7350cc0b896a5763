#pragma once
// The application object's part in the toolkit's resource-operation protocol: the operation kinds it handles,
// starting operations that finish later (device-local operations through the runner, the account connection check,
// the account form commands the External Accounts page acts on), operations that finish at once (opening a page,
// the rollback review, account removal, model-provider configuration), and the poll for a started operation.
//
// SettingsApp forwards its Widget operations here:
//   handled_action_ids                     -> handled_action_ids()
//   start_resource_operation_with_document -> start(); none: the default route through the widget tree
//   handle_resource_operation              -> handle()
//   poll_resource_operation                -> poll() when owns(id), else the shell's default poll
// and calls page_replaced() whenever it replaces the visible page.
//
// An account form command (Add, Open, Edit, Reauthenticate, SubmitForm, CancelForm, SubmitReauthentication,
// CancelReauthentication) goes to the page through the account command cell and is reported when the page has
// answered it: a submit once its connection check and save have ended. Without an External Accounts page to act
// on it the command fails at once ("the External Accounts page is not open"); a page that goes without answering
// fails it.

#include "operations/account_check.hpp"
#include "operations/cells.hpp"
#include "operations/runner.hpp"

#include "accounts/paths.hpp"
#include "accounts/probe.hpp"

#include "vorn_ui/resource_ops.hpp"

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings::operations {

class AppOperationsHost : public RunnerHost {
public:
    // Reloads the account list the application object keeps (after an account was removed).
    virtual void reload_accounts() = 0;
};

struct AppOperationsOptions {
    accounts::AccountPaths account_paths;
    // The shared connection check; account_probe::default_account_probe() when empty.
    std::shared_ptr<const accounts::AccountProbe> probe;
    // How long a connection check may take before it is reported as timed out (and no longer blocks the next).
    std::chrono::milliseconds account_check_deadline{std::chrono::seconds(90)};
    RunnerOptions runner;
};

class ApplicationOperations {
public:
    static constexpr std::string_view check_running_message = "an account connection check is already running";
    static constexpr std::string_view check_cancelled_message = "connection check cancelled";
    static constexpr std::string_view account_failure_code = "account_connection_failed";
    // Account form commands (SubmitForm, Add, ...) are reported once the External Accounts page has acted on them.
    static constexpr std::string_view account_form_failure_code = "account_form_failed";
    static constexpr std::string_view page_not_open_message = "the External Accounts page is not open";
    static constexpr std::string_view commands_waiting_message =
        "too many account commands are waiting for the External Accounts page";
    static constexpr std::string_view command_cancelled_message = "operation cancelled";

    // How long the application waits, when it goes, for a cancelled connection check to end.
    static constexpr std::chrono::seconds check_shutdown_wait{3};

    ApplicationOperations(AppOperationsHost& host, AppOperationsOptions options);
    // Cancels a running connection check and waits (at most check_shutdown_wait) until no check worker is left,
    // so that the program does not end underneath one.
    ~ApplicationOperations();
    ApplicationOperations(const ApplicationOperations&) = delete;
    ApplicationOperations& operator=(const ApplicationOperations&) = delete;

    // The 17 operation kinds the application object handles, in order.
    [[nodiscard]] static std::span<const std::string_view> handled_action_ids();

    [[nodiscard]] DeviceLocalRunner& runner() { return runner_; }
    [[nodiscard]] const DeviceLocalRunner& runner() const { return runner_; }
    [[nodiscard]] const AccountCommandCell& account_commands() const { return account_commands_; }
    [[nodiscard]] const accounts::AccountPaths& account_paths() const { return options_.account_paths; }
    [[nodiscard]] const std::shared_ptr<const accounts::AccountProbe>& probe() const { return options_.probe; }

    // Device-local kinds with class 1 go to the runner; account operations are run here. Every other operation
    // answers none: the caller sends it on through the widget tree (whose last handler is handle()).
    [[nodiscard]] std::optional<vorn_ui::ResourceOperationStart> start(const vorn_ui::OperationId& id,
                                                                       vorn_ui::OperationClass cls,
                                                                       std::string_view kind,
                                                                       std::string_view payload);

    // The operations that finish at once.
    [[nodiscard]] vorn_ui::ResourceOperationAnswer handle(vorn_ui::OperationClass cls, std::string_view kind,
                                                          std::string_view payload);

    // Whether a poll for `id` is answered here (the device-local operation or the connection check).
    [[nodiscard]] bool owns(const vorn_ui::OperationId& id) const;
    [[nodiscard]] std::optional<vorn_ui::OperationCompletion> poll(const vorn_ui::OperationId& id, bool cancel);

    // Whether a connection check has not been reported yet.
    [[nodiscard]] bool account_check_outstanding() const { return check_.has_value(); }

    void page_replaced() { runner_.page_replaced(); }

private:
    vorn_ui::ResourceOperationStart start_account_check(const vorn_ui::OperationId& id, std::string_view account_id);
    vorn_ui::ResourceOperationStart remove_account(std::string_view account_id);
    vorn_ui::ResourceOperationAnswer handle_account(vorn_ui::OperationClass cls, std::string_view payload);
    vorn_ui::ResourceOperationAnswer handle_provider(vorn_ui::OperationClass cls, std::string_view payload);
    std::optional<vorn_ui::OperationCompletion> poll_command(const vorn_ui::OperationId& id, bool cancel);
    void forget_answers_nobody_polls();
    [[nodiscard]] std::chrono::steady_clock::time_point now() const;
    [[nodiscard]] bool vault_ready() const;

    struct OutstandingCheck {
        vorn_ui::OperationId id;
        AccountCheck check;
    };
    // An account form command the page has not answered yet.
    struct OutstandingCommand {
        vorn_ui::OperationId id;
        std::uint64_t serial = 0;
        bool cancel_requested = false;
    };

    AppOperationsHost& host_;
    AppOperationsOptions options_;
    DeviceLocalRunner runner_;
    AccountCommandCell account_commands_;
    std::vector<OutstandingCommand> commands_;
    std::vector<std::uint64_t> unwatched_commands_;  // sent by handle(): their answers are dropped
    std::optional<OutstandingCheck> check_;
    // A check that a new one replaced after its deadline, reported once to a late poll of its id.
    std::optional<vorn_ui::OperationCompletion> replaced_check_;
};

}  // namespace settings::operations
