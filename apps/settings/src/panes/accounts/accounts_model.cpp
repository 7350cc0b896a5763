#include "panes/accounts/accounts_model.hpp"

#include "panes/accounts/accounts_texts.hpp"

#include "account_probe/network_probe.hpp"
#include "accounts/drafts.hpp"
#include "accounts/removal.hpp"

#include "page_doc/page_doc.hpp"
#include "text_utf8/text_utf8.hpp"

#include <algorithm>

namespace settings::panes::accounts {
namespace {

using settings::accounts::AccountLists;
using settings::accounts::all_account_kinds;
using operations::AccountCheck;
using operations::AccountCommandOutcome;
using operations::AccountPaneCommand;

const AccountCommandOutcome done{std::string()};

AccountCommandOutcome failed(std::string_view sentence) { return std::unexpected(std::string(sentence)); }

// A pressed button: its key holds true. The key is written back to false before the press is acted on.
bool take_press(page_doc::Document& doc, std::string_view key)
{
    if (page_doc::doc_bool(doc, key) != true) {
        return false;
    }
    doc.put_bool(key, false);
    return true;
}

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

}  // namespace

AccountsModel::AccountsModel(AccountsModelOptions options)
    : paths_(std::move(options.paths)),
      probe_(options.probe ? std::move(options.probe) : account_probe::default_account_probe()),
      clock_(std::move(options.clock)),
      check_deadline_(options.check_deadline),
      commands_(options.commands.value_or(operations::AccountCommandCell())),
      reader_(commands_.attach())
{
    if (options.lists) {
        accounts_ = std::move(*options.lists);
    } else {
        accounts_ = paths_.load_store_with_legacy_import();
        statuses_ = paths_.load_statuses();
        if (auto store = paths_.try_load_store(); !store && paths_.config_root()) {
            store_error_ = std::move(store.error());
        }
    }
    // The vault key's custody is found on a worker; the credentials are read once it is settled.
    paths_.prepare_vault();
    load_credentials();
    if (options.add_form) {
        open_add_form(*options.add_form);
    }
}

AccountsModel::~AccountsModel()
{
    answer(submit_form_serial_, failed(sentences::page_closed));
    answer(cancel_form_serial_, failed(sentences::page_closed));
    answer(submit_reauth_serial_, failed(sentences::page_closed));
    answer(cancel_reauth_serial_, failed(sentences::page_closed));
    answer_all(form_waiters_, failed(sentences::page_closed));
    answer_all(reauth_waiters_, failed(sentences::page_closed));
    password_->clear();
    new_password_->clear();
}

std::chrono::steady_clock::time_point AccountsModel::now() const
{
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

void AccountsModel::load_credentials()
{
    if (!paths_.vault_ready()) {
        vault_opening_ = true;
        return;
    }
    vault_opening_ = false;
    credential_ids_.clear();
    auto vault = paths_.open_vault();
    if (!vault) {
        vault_error_ = std::move(vault.error());
        return;
    }
    vault_error_.reset();
    secret_service_unavailable_ = vault->secret_service_unavailable();
    for (std::string& id : vault->ids()) {
        credential_ids_.insert(std::move(id));
    }
    // Only the ids stay: the decrypted vault is wiped as it goes.
}

void AccountsModel::reload()
{
    accounts_ = paths_.load_store_with_legacy_import();
    statuses_ = paths_.load_statuses();
    store_error_.reset();
    if (auto store = paths_.try_load_store(); !store && paths_.config_root()) {
        store_error_ = std::move(store.error());
    }
    load_credentials();
    structure_dirty_ = true;
}

void AccountsModel::clear_form_fields()
{
    (void)display_name_.publish(std::string());
    (void)email_.publish(std::string());
    (void)username_.publish(std::string());
    (void)server_url_.publish(std::string());
    password_->clear();
}

void AccountsModel::open_add_form(AccountKind kind)
{
    form_kind_ = kind;
    editing_id_.reset();
    form_status_.reset();
    clear_form_fields();
    structure_dirty_ = true;
}

bool AccountsModel::open_account_for_edit(std::string_view id)
{
    std::optional<AccountKind> kind;
    for (const auto& [listed_kind, listed_id] : listed()) {
        if (listed_id == id) {
            kind = listed_kind;
            break;
        }
    }
    if (!kind) {
        return false;
    }
    clear_form_fields();
    const auto store = paths_.load_store();
    if (const settings::accounts::Account* account = store.get(id)) {
        const auto text = [&](const char* name) {
            const auto& config = account->config;
            if (config.is_object()) {
                if (const auto found = config.find(name); found != config.end() && found->is_string()) {
                    return found->get<std::string>();
                }
            }
            return std::string();
        };
        (void)display_name_.publish(account->display_name);
        if (*kind == AccountKind::Mail) {
            (void)email_.publish(text("email"));
        }
        (void)username_.publish(text("username"));
        (void)server_url_.publish(text(*kind == AccountKind::WebDav ? "base_url" : "server_url"));
    }
    form_kind_ = kind;
    editing_id_ = std::string(id);
    form_status_.reset();
    password_->clear();  // the saved password is never shown; an empty one keeps it
    structure_dirty_ = true;
    return true;
}

void AccountsModel::open_reauthentication(std::string id)
{
    reauth_target_ = std::move(id);
    reauth_status_.reset();
    new_password_->clear();
    structure_dirty_ = true;
}

std::vector<std::pair<AccountKind, std::string>> AccountsModel::listed() const
{
    std::vector<std::pair<AccountKind, std::string>> out;
    for (const AccountKind kind : all_account_kinds) {
        for (auto& row : account_rows(accounts_, kind)) {
            out.emplace_back(kind, std::move(row.id));
        }
    }
    return out;
}

// ---- Commands -----------------------------------------------------------------------------------------------------

void AccountsModel::answer(std::optional<std::uint64_t>& serial, const Outcome& outcome)
{
    if (serial) {
        commands_.answer(*serial, outcome);
        serial.reset();
    }
}

void AccountsModel::answer_all(std::vector<std::uint64_t>& serials, const Outcome& outcome)
{
    for (const std::uint64_t serial : serials) {
        commands_.answer(serial, outcome);
    }
    serials.clear();
}

std::optional<operations::CheckResultText> AccountsModel::take_check_result(std::optional<AccountCheck>& check,
                                                                           const std::vector<std::uint64_t>& waiters,
                                                                           std::string_view disconnected) const
{
    if (!check) {
        return std::nullopt;
    }
    const bool cancelled =
        std::ranges::any_of(waiters, [&](std::uint64_t serial) { return commands_.cancel_requested(serial); });
    if (cancelled) {
        check.reset();  // stops the probe
        return std::unexpected(std::string(sentences::check_cancelled));
    }
    auto received = check->try_receive(now(), disconnected);
    if (received.state == AccountCheck::State::Running) {
        return std::nullopt;
    }
    check.reset();
    return std::move(received.result);
}

void AccountsModel::apply_command(const operations::AccountCommandRequest& request)
{
    using Cmd = AccountPaneCommand;
    std::visit(Overloaded{
                   [&](const Cmd::Add& add) {
                       open_add_form(add.kind);
                       commands_.answer(request.serial, done);
                   },
                   [&](const Cmd::Edit& edit) {
                       commands_.answer(request.serial, open_account_for_edit(edit.id)
                                                            ? done
                                                            : failed(sentences::no_longer_exists));
                   },
                   [&](const Cmd::Reauthenticate& reauth) {
                       open_reauthentication(reauth.id);
                       commands_.answer(request.serial, done);
                   },
                   [&](const Cmd::SubmitForm&) {
                       submit_form_ = true;
                       answer(submit_form_serial_, failed(sentences::no_form_open));  // never two in one sync
                       submit_form_serial_ = request.serial;
                   },
                   [&](const Cmd::CancelForm&) {
                       cancel_form_ = true;
                       answer(cancel_form_serial_, done);
                       cancel_form_serial_ = request.serial;
                   },
                   [&](const Cmd::SubmitReauthentication&) {
                       submit_reauth_ = true;
                       answer(submit_reauth_serial_, failed(sentences::no_credential_form_open));
                       submit_reauth_serial_ = request.serial;
                   },
                   [&](const Cmd::CancelReauthentication&) {
                       cancel_reauth_ = true;
                       answer(cancel_reauth_serial_, done);
                       cancel_reauth_serial_ = request.serial;
                   },
               },
               request.command.command);
}

// ---- The sync -----------------------------------------------------------------------------------------------------

void AccountsModel::sync(page_doc::Document& doc)
{
    if (vault_opening_ && paths_.vault_ready()) {
        load_credentials();
        structure_dirty_ = true;
    }

    // 1. The application's next command.
    if (auto request = commands_.take()) {
        apply_command(*request);
    }

    // 2. "Add account" of each kind: every press is consumed, the first opens the form when none is open.
    for (const AccountKind kind : all_account_kinds) {
        if (take_press(doc, controls::add(kind)) && !form_kind_) {
            open_add_form(kind);
        }
    }

    const auto accounts = listed();

    // 3. The first pressed "Edit"; a later one waits for the next sync.
    for (const auto& [kind, id] : accounts) {
        if (take_press(doc, controls::edit(id))) {
            open_account_for_edit(id);
            break;
        }
    }

    // 4-6. The form: cancel, submit, and the check's answer.
    if (take_press(doc, controls::form_cancel) || cancel_form_) {
        cancel_form_ = false;
        cancel_form();
        answer(cancel_form_serial_, done);
    }
    if (take_press(doc, controls::form_save) || submit_form_) {
        submit_form_ = false;
        submit_form();
    }
    poll_form_check();

    // 7. "Sign in again" opens the credential form of any listed account, with or without a saved credential.
    for (const auto& [kind, id] : accounts) {
        if (take_press(doc, controls::reauth(id))) {
            open_reauthentication(id);
        }
    }

    // 8-10. The credential form: cancel, submit, and the check's answer.
    if (take_press(doc, controls::reauth_cancel) || cancel_reauth_) {
        cancel_reauth_ = false;
        cancel_reauthentication();
        answer(cancel_reauth_serial_, done);
    }
    if (take_press(doc, controls::reauth_save) || submit_reauth_) {
        submit_reauth_ = false;
        submit_reauthentication();
    }
    poll_reauth_check();

    // 11-13. Removal: cancel, confirm, and the "Remove" buttons (the last pressed wins).
    if (take_press(doc, controls::remove_cancel)) {
        pending_removal_.reset();
        structure_dirty_ = true;
    }
    if (take_press(doc, controls::remove_confirm)) {
        confirm_removal();
    }
    for (const auto& [kind, id] : accounts) {
        if (std::ranges::find(removed_ids_, id) != removed_ids_.end()) {
            continue;  // a press on a row already removed stays as it is
        }
        if (take_press(doc, controls::remove(id))) {
            pending_removal_.emplace(kind, id);
            structure_dirty_ = true;
        }
    }
}

bool AccountsModel::needs_idle_sync() const
{
    return pending_form_check_.has_value() || pending_reauth_check_.has_value() || vault_opening_ ||
           commands_.pending();
}

bool AccountsModel::take_structure_dirty() { return std::exchange(structure_dirty_, false); }

// ---- The add/edit form --------------------------------------------------------------------------------------------

void AccountsModel::close_form()
{
    form_kind_.reset();
    form_status_.reset();
    editing_id_.reset();
    pending_form_check_.reset();  // stops the probe; a late answer is lost
    pending_form_draft_.reset();
    clear_form_fields();
    structure_dirty_ = true;
}

void AccountsModel::cancel_form()
{
    if (!form_kind_) {
        return;
    }
    answer_all(form_waiters_, failed(sentences::form_closed));
    close_form();
}

void AccountsModel::submit_form()
{
    if (!form_kind_) {
        answer(submit_form_serial_, failed(sentences::no_form_open));
        return;
    }
    if (pending_form_check_) {
        // A second submit while the check runs is ignored; a command waits for the running one.
        if (submit_form_serial_) {
            form_waiters_.push_back(*std::exchange(submit_form_serial_, std::nullopt));
        }
        return;
    }
    structure_dirty_ = true;
    if (!paths_.vault_ready()) {
        form_status_ = std::string(settings::accounts::vault_opening_message);
        answer(submit_form_serial_, failed(*form_status_));
        return;
    }
    const AccountKind kind = *form_kind_;
    settings::accounts::CheckedForm form{.kind = kind,
                                         .editing_id = editing_id_,
                                         .display_name = display_name_.get(),
                                         .email = email_.get(),
                                         .username = username_.get(),
                                         .server_url = server_url_.get()};
    password_->with_text([&](std::string_view text) { form.password = account_registry::SecretString(text); });

    auto draft = settings::accounts::save_account_draft(paths_, kind, editing_id_, std::nullopt, form.inputs());
    if (!draft) {
        form_status_ = std::move(draft.error());
        answer(submit_form_serial_, failed(*form_status_));
        return;
    }
    form.reserved_id = draft->account.id;
    pending_form_draft_ = std::move(form);
    pending_form_check_.emplace(probe_, std::move(draft->account), std::move(draft->secret),
                                now() + check_deadline_);
    form_status_ = std::string(sentences::checking_account);
    if (submit_form_serial_) {
        form_waiters_.push_back(*std::exchange(submit_form_serial_, std::nullopt));
    }
}

void AccountsModel::stop_form_check(std::string_view status)
{
    pending_form_check_.reset();
    pending_form_draft_.reset();
    form_status_ = std::string(status);
    answer_all(form_waiters_, failed(status));
    structure_dirty_ = true;
}

void AccountsModel::poll_form_check()
{
    auto result = take_check_result(pending_form_check_, form_waiters_, sentences::account_check_stopped);
    if (!result) {
        return;
    }
    structure_dirty_ = true;
    if (!*result) {
        stop_form_check(result->error());  // the form stays open with its inputs
        return;
    }
    if (!pending_form_draft_) {
        form_status_ = std::string(sentences::account_check_no_draft);
        answer_all(form_waiters_, failed(*form_status_));
        return;
    }
    const settings::accounts::CheckedForm form = std::move(*pending_form_draft_);
    pending_form_draft_.reset();
    if (auto saved = settings::accounts::save_checked_draft(paths_, form); !saved) {
        form_status_ = std::move(saved.error());
        answer_all(form_waiters_, failed(*form_status_));
        return;
    }
    close_form();
    reload();
    answer_all(form_waiters_, done);
}

// ---- The credential form ------------------------------------------------------------------------------------------

void AccountsModel::cancel_reauthentication()
{
    answer_all(reauth_waiters_, failed(sentences::credential_form_closed));
    reauth_target_.reset();
    reauth_status_.reset();
    pending_reauth_check_.reset();
    pending_reauth_draft_.reset();
    new_password_->clear();
    structure_dirty_ = true;
}

void AccountsModel::submit_reauthentication()
{
    if (!reauth_target_) {
        answer(submit_reauth_serial_, failed(sentences::no_credential_form_open));
        return;
    }
    if (pending_reauth_check_) {
        if (submit_reauth_serial_) {
            reauth_waiters_.push_back(*std::exchange(submit_reauth_serial_, std::nullopt));
        }
        return;
    }
    structure_dirty_ = true;
    account_registry::SecretString secret;
    new_password_->with_text([&](std::string_view text) {
        secret = account_registry::SecretString(text_utf8::trim_white_space(text));
    });
    if (secret.empty()) {
        reauth_status_ = std::string(sentences::enter_password);
        answer(submit_reauth_serial_, failed(*reauth_status_));
        return;
    }
    auto store = paths_.try_load_store();
    if (!store) {
        reauth_status_ = "could not read account store: " + store.error();
        answer(submit_reauth_serial_, failed(*reauth_status_));
        return;
    }
    const settings::accounts::Account* account = store->get(*reauth_target_);
    if (account == nullptr) {
        reauth_status_ = std::string(sentences::no_longer_exists);
        answer(submit_reauth_serial_, failed(*reauth_status_));
        return;
    }
    pending_reauth_check_.emplace(probe_, *account, secret.clone(), now() + check_deadline_);
    pending_reauth_draft_ = CredentialDraft{.id = *reauth_target_, .secret = std::move(secret)};
    reauth_status_ = std::string(sentences::checking_credential);
    if (submit_reauth_serial_) {
        reauth_waiters_.push_back(*std::exchange(submit_reauth_serial_, std::nullopt));
    }
}

void AccountsModel::stop_reauth_check(std::string_view status)
{
    pending_reauth_check_.reset();
    pending_reauth_draft_.reset();
    reauth_status_ = std::string(status);
    answer_all(reauth_waiters_, failed(status));
    structure_dirty_ = true;
}

void AccountsModel::poll_reauth_check()
{
    auto result = take_check_result(pending_reauth_check_, reauth_waiters_, sentences::credential_check_stopped);
    if (!result) {
        return;
    }
    structure_dirty_ = true;
    if (!*result) {
        stop_reauth_check(result->error());
        return;
    }
    if (!pending_reauth_draft_) {
        reauth_status_ = std::string(sentences::credential_check_no_draft);
        answer_all(reauth_waiters_, failed(*reauth_status_));
        return;
    }
    const CredentialDraft draft = std::move(*pending_reauth_draft_);
    pending_reauth_draft_.reset();
    if (!paths_.vault_ready()) {
        reauth_status_ = std::string(settings::accounts::vault_opening_message);
        answer_all(reauth_waiters_, failed(*reauth_status_));
        return;
    }
    if (auto updated = settings::accounts::update_credential(paths_, draft.id, draft.secret); !updated) {
        reauth_status_ = std::move(updated.error());
        answer_all(reauth_waiters_, failed(*reauth_status_));
        return;
    }
    credential_ids_.insert(draft.id);
    reauth_target_.reset();
    reauth_status_.reset();
    new_password_->clear();
    answer_all(reauth_waiters_, done);
}

// ---- Removal ------------------------------------------------------------------------------------------------------

void AccountsModel::confirm_removal()
{
    auto removal = std::exchange(pending_removal_, std::nullopt);
    if (!removal) {
        return;
    }
    structure_dirty_ = true;
    if (!paths_.vault_ready()) {
        removal_error_ = std::string(settings::accounts::vault_opening_message);
        return;
    }
    const auto& [kind, id] = *removal;
    if (auto removed = settings::accounts::remove_account(paths_, kind, id); !removed) {
        removal_error_ = std::move(removed.error());
        return;
    }
    removal_error_.reset();
    removed_ids_.push_back(id);
    reload();
}

}  // namespace settings::panes::accounts
