#pragma once
// The External Accounts page without its widgets: the accounts by kind with their sync statuses, the add/edit form
// with its validation, the connection check before anything is saved, the journaled save, the credential form that
// replaces a saved password, and the removal with its confirmation. The view (AccountsPane) wraps one model, binds
// its text inputs to the model's cells, builds its cards from the state below and accounts_texts.hpp, and calls
// sync() on every sync of the page.
//
// One sync works, in this order: the application's next form command (operations/account_commands.hpp), the "Add
// account" buttons, the first pressed "Edit", the form's cancel and submit, the form check's poll (and the save on
// success), the "Sign in again" buttons, the credential form's cancel and submit, its check's poll, the removal's
// cancel and confirm, and the "Remove" buttons. A button press is its control id set to true in the page document
// (accounts_texts.hpp, controls); the sync reads it and writes false back.
//
// A connection check runs the account probe on a worker thread of its own (operations::AccountCheck) with a
// 10-second deadline on the model's clock; the sync polls it without waiting and asks for idle syncs while one
// runs. A check nobody waits for any more (the form closed, the page went) is stopped. Everything else runs on the
// UI thread. Passwords are typed into locked buffers (vorn_ui::LockedText) and kept only in wiping memory; the page
// keeps the ids that have a saved credential, never the decrypted vault. The vault is opened only once its key's
// custody is settled: until then an action that needs it says so instead of waiting for the Secret Service.
//
//   AccountsModel model({.paths = paths, .commands = app.account_state(), .probe = app.account_probe()});
//   model.sync(doc);                                 // in the page's sync
//   if (model.take_structure_dirty()) rebuild();     // the view's cards follow the state

#include "accounts/checked_save.hpp"
#include "accounts/lists.hpp"
#include "accounts/paths.hpp"
#include "accounts/probe.hpp"
#include "accounts/records.hpp"
#include "operations/account_check.hpp"
#include "operations/account_commands.hpp"

#include "account_registry/secret.hpp"
#include "vorn_ui/locked_text.hpp"
#include "vorn_ui/state.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace page_doc {
class Document;
}

namespace settings::panes::accounts {

using settings::accounts::AccountKind;

// The sentences of the page (besides those of the drafts, the save, the removal and the probe).
namespace sentences {
inline constexpr std::string_view checking_account = "Checking the account before saving…";
inline constexpr std::string_view checking_credential = "Checking the replacement credential…";
inline constexpr std::string_view account_check_stopped = "account check stopped unexpectedly";
inline constexpr std::string_view credential_check_stopped = "credential check stopped unexpectedly";
inline constexpr std::string_view account_check_no_draft = "account check result had no pending draft";
inline constexpr std::string_view credential_check_no_draft = "credential check result had no pending draft";
inline constexpr std::string_view enter_password = "enter a password or app password";
inline constexpr std::string_view no_longer_exists = "account no longer exists";
inline constexpr std::string_view check_cancelled = "connection check cancelled";
// Answers to application commands the page could not act on.
inline constexpr std::string_view no_form_open = "no account form is open";
inline constexpr std::string_view no_credential_form_open = "no credential form is open";
inline constexpr std::string_view form_closed = "the account form was closed before the account was saved";
inline constexpr std::string_view credential_form_closed =
    "the credential form was closed before the credential was replaced";
inline constexpr std::string_view page_closed = "the page was closed before the operation finished";
}  // namespace sentences

struct AccountsModelOptions {
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    settings::accounts::AccountPaths paths;
    // The accounts to show as given (no loading, no legacy import; the statuses start empty); none: loaded.
    std::optional<settings::accounts::AccountLists> lists;
    // The page starts with the add form of this kind open.
    std::optional<AccountKind> add_form;
    // The application's command cell; none: the page's own (nobody sends to it).
    std::optional<operations::AccountCommandCell> commands;
    // The connection check; none: the network probe (account_probe::default_account_probe()).
    std::shared_ptr<const settings::accounts::AccountProbe> probe;
    // steady_clock::now when empty (the checks' deadlines are measured on it).
    Clock clock;
    std::chrono::milliseconds check_deadline{std::chrono::seconds(10)};
};

class AccountsModel {
public:
    // Loads the accounts (with the one-time legacy import), the statuses and the ids of the saved credentials.
    explicit AccountsModel(AccountsModelOptions options);
    // Answers the commands it still owed ("the page was closed before the operation finished"), stops its checks
    // and wipes the password cells.
    ~AccountsModel();
    AccountsModel(const AccountsModel&) = delete;
    AccountsModel& operator=(const AccountsModel&) = delete;

    // ---- what the view calls
    void sync(page_doc::Document& doc);
    // While a check runs, the vault is opening or commands wait: the toolkit keeps calling sync().
    [[nodiscard]] bool needs_idle_sync() const;
    // Whether the cards must be rebuilt (cleared by the call).
    bool take_structure_dirty();

    // Reads the accounts, the statuses and the saved credential ids again.
    void reload();
    // Empties the display name, email, user name, server URL and password cells.
    void clear_form_fields();
    // Opens the edit form of a listed account with its stored settings (never its password); false when the id is
    // not listed.
    bool open_account_for_edit(std::string_view id);
    // Opens the add form of a kind (the inputs emptied).
    void open_add_form(AccountKind kind);

    // ---- the state the view shows
    [[nodiscard]] const settings::accounts::AccountLists& accounts() const { return accounts_; }
    [[nodiscard]] const settings::accounts::AccountSyncStatusStore& statuses() const { return statuses_; }
    // The account store could not be read (the lists are then empty): why.
    [[nodiscard]] const std::optional<std::string>& store_error() const { return store_error_; }
    // The vault could not be opened: why (the saved credentials are then unknown).
    [[nodiscard]] const std::optional<std::string>& vault_error() const { return vault_error_; }
    // The desktop Secret Service was not usable, so the vault key is the owner-only local file (the page's caption).
    [[nodiscard]] bool secret_service_unavailable() const { return secret_service_unavailable_; }
    // The vault's key custody is still being found: the saved credentials are not known yet.
    [[nodiscard]] bool vault_opening() const { return vault_opening_; }
    [[nodiscard]] bool has_credential(std::string_view id) const { return credential_ids_.contains(id); }

    [[nodiscard]] std::optional<AccountKind> form_kind() const { return form_kind_; }
    [[nodiscard]] const std::optional<std::string>& editing_id() const { return editing_id_; }
    [[nodiscard]] const std::optional<std::string>& form_status() const { return form_status_; }
    [[nodiscard]] bool form_check_pending() const { return pending_form_check_.has_value(); }

    [[nodiscard]] const std::optional<std::string>& reauth_target() const { return reauth_target_; }
    [[nodiscard]] const std::optional<std::string>& reauth_status() const { return reauth_status_; }
    [[nodiscard]] bool reauth_check_pending() const { return pending_reauth_check_.has_value(); }

    // The account whose removal waits for confirmation.
    [[nodiscard]] const std::optional<std::pair<AccountKind, std::string>>& pending_removal() const
    {
        return pending_removal_;
    }
    // The last removal failed: its sentence, shown on the page whether or not a form is open.
    [[nodiscard]] const std::optional<std::string>& removal_error() const { return removal_error_; }
    [[nodiscard]] const std::vector<std::string>& removed_ids() const { return removed_ids_; }

    // The cells the view's text inputs are bound to.
    [[nodiscard]] const vorn_ui::LocalState<std::string>& display_name_cell() const { return display_name_; }
    [[nodiscard]] const vorn_ui::LocalState<std::string>& email_cell() const { return email_; }
    [[nodiscard]] const vorn_ui::LocalState<std::string>& username_cell() const { return username_; }
    [[nodiscard]] const vorn_ui::LocalState<std::string>& server_url_cell() const { return server_url_; }
    [[nodiscard]] const vorn_ui::SharedLockedText& password_cell() const { return password_; }
    [[nodiscard]] const vorn_ui::SharedLockedText& new_password_cell() const { return new_password_; }
    [[nodiscard]] const operations::AccountCommandCell& commands() const { return commands_; }

private:
    struct CredentialDraft {
        std::string id;
        account_registry::SecretString secret;
    };
    using Outcome = operations::AccountCommandOutcome;

    [[nodiscard]] std::chrono::steady_clock::time_point now() const;
    void load_credentials();
    void apply_command(const operations::AccountCommandRequest& request);
    void open_reauthentication(std::string id);
    void close_form();
    void cancel_form();
    void submit_form();
    void poll_form_check();
    void cancel_reauthentication();
    void submit_reauthentication();
    void poll_reauth_check();
    void confirm_removal();
    void stop_form_check(std::string_view status);
    void stop_reauth_check(std::string_view status);
    void answer(std::optional<std::uint64_t>& serial, const Outcome& outcome);
    void answer_all(std::vector<std::uint64_t>& serials, const Outcome& outcome);
    // The answer of a running check, which it then drops: the probe's result, its failure, or "connection check
    // cancelled" when the application gave up on a command waiting for it; none while it runs.
    [[nodiscard]] std::optional<operations::CheckResultText> take_check_result(
        std::optional<operations::AccountCheck>& check, const std::vector<std::uint64_t>& waiters,
        std::string_view disconnected) const;
    // The listed accounts, kinds in order, each list in its order.
    [[nodiscard]] std::vector<std::pair<AccountKind, std::string>> listed() const;

    settings::accounts::AccountPaths paths_;
    std::shared_ptr<const settings::accounts::AccountProbe> probe_;
    AccountsModelOptions::Clock clock_;
    std::chrono::milliseconds check_deadline_;

    settings::accounts::AccountLists accounts_;
    settings::accounts::AccountSyncStatusStore statuses_;
    std::optional<std::string> store_error_;
    std::set<std::string, std::less<>> credential_ids_;
    std::optional<std::string> vault_error_;
    bool secret_service_unavailable_ = false;
    bool vault_opening_ = false;
    std::vector<std::string> removed_ids_;

    std::optional<AccountKind> form_kind_;
    std::optional<std::string> editing_id_;
    std::optional<std::string> form_status_;
    std::optional<operations::AccountCheck> pending_form_check_;
    std::optional<settings::accounts::CheckedForm> pending_form_draft_;
    std::vector<std::uint64_t> form_waiters_;  // commands answered when the form's submit ends

    std::optional<std::string> reauth_target_;
    std::optional<std::string> reauth_status_;
    std::optional<operations::AccountCheck> pending_reauth_check_;
    std::optional<CredentialDraft> pending_reauth_draft_;
    std::vector<std::uint64_t> reauth_waiters_;

    std::optional<std::pair<AccountKind, std::string>> pending_removal_;
    std::optional<std::string> removal_error_;

    vorn_ui::LocalState<std::string> display_name_{std::string()};
    vorn_ui::LocalState<std::string> email_{std::string()};
    vorn_ui::LocalState<std::string> username_{std::string()};
    vorn_ui::LocalState<std::string> server_url_{std::string()};
    vorn_ui::SharedLockedText password_ = vorn_ui::LockedText::create();
    vorn_ui::SharedLockedText new_password_ = vorn_ui::LockedText::create();

    operations::AccountCommandCell commands_;
    std::shared_ptr<const void> reader_;
    // Set by commands, consumed by the steps of the same sync, with the serial to answer.
    bool submit_form_ = false;
    bool cancel_form_ = false;
    bool submit_reauth_ = false;
    bool cancel_reauth_ = false;
    std::optional<std::uint64_t> submit_form_serial_;
    std::optional<std::uint64_t> cancel_form_serial_;
    std::optional<std::uint64_t> submit_reauth_serial_;
    std::optional<std::uint64_t> cancel_reauth_serial_;

    bool structure_dirty_ = true;
};

}  // namespace settings::panes::accounts
