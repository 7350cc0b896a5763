#pragma once
// Where the application finds the account stores, and the crash-safe mutation journal that brackets every change.
//
// Adding, editing and removing an account changes three stores: the account store, the sync status store and the
// credential vault ("vault.enc"). Before a change, begin_mutation() writes their previous state to
// "mutation-journal.json" (compact JSON, mode 0600, replaced atomically); commit_account_mutation() removes the
// journal once the change is complete. A journal found later means an interrupted change: recover_mutation() puts
// the previous state of all three back and removes the journal. The vault bytes are copied as they are on disk,
// still encrypted.
//
// One change, step by step:
//   auto store = paths.try_load_store();  auto statuses = paths.try_load_statuses();   (refuse when unreadable)
//   paths.begin_mutation(*store, *statuses);          before anything is changed
//   ... change the vault, the store and the statuses ...
//   commit_account_mutation(paths, "account save");
// When a step of the change fails, the caller writes its snapshots back itself and, once that succeeded, calls
// clear_mutation(); when the write-back fails the journal stays for the start-up recovery.
//
// Everything here runs on the UI thread, one change at a time; there is no lock.

#include "accounts/records.hpp"

#include "account_registry/vault.hpp"

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace settings::accounts {

struct AccountLists;

// Said instead of waiting when an account change needs the vault before its key's custody is settled.
inline constexpr std::string_view vault_opening_message = "the credential vault is still opening; try again in a moment";

struct AccountPaths {
    // The account root; none means the account registry's default root (account_registry::config_root()).
    std::optional<std::filesystem::path> root;

    // The root if set, else the registry's default root; none when there is neither.
    [[nodiscard]] std::optional<std::filesystem::path> config_root() const;
    // The effective root, or the error "no config dir".
    [[nodiscard]] std::expected<std::filesystem::path, std::string> accounts_root() const;
    [[nodiscard]] std::expected<std::filesystem::path, std::string> require_root() const;
    // The root joined with the relative name when the root is set, else the name in the settings store's
    // configuration directory; none when that cannot be formed.
    [[nodiscard]] std::optional<std::filesystem::path> config_file(std::string_view name) const;

    // Files below the effective root (error "no config dir").
    [[nodiscard]] std::expected<std::filesystem::path, std::string> accounts_dir() const;
    [[nodiscard]] std::expected<std::filesystem::path, std::string> journal_path() const;
    [[nodiscard]] std::expected<std::filesystem::path, std::string> vault_path() const;
    [[nodiscard]] std::expected<std::filesystem::path, std::string> store_path() const;
    [[nodiscard]] std::expected<std::filesystem::path, std::string> statuses_path() const;

    // The account store for display: an empty store when there is no effective root or the store cannot be read
    // (that failure is logged). Never base a change on it: use try_load_store().
    [[nodiscard]] AccountStore load_store() const;
    // The account store for a change: a missing file is the empty store; no root is "no config dir"; a file that
    // cannot be read or is invalid is an error, so that no change writes an empty store over it.
    [[nodiscard]] std::expected<AccountStore, std::string> try_load_store() const;
    [[nodiscard]] std::expected<void, std::string> save_store(const AccountStore& store) const;

    // The same for the sync statuses.
    [[nodiscard]] AccountSyncStatusStore load_statuses() const;
    [[nodiscard]] std::expected<AccountSyncStatusStore, std::string> try_load_statuses() const;
    [[nodiscard]] std::expected<void, std::string> save_statuses(const AccountSyncStatusStore& statuses) const;

    // The credential vault of the root (of the default root when none is set). A damaged vault file or a missing
    // key is an error, never an empty vault. The first open of a process may wait (bounded) for the desktop's
    // Secret Service, which keeps the vault key: the UI thread calls prepare_vault() early and opens the vault once
    // vault_ready() is true.
    [[nodiscard]] std::expected<account_registry::SecretVault, std::string> open_vault() const;
    // Starts finding where the vault key is kept, on a worker; returns at once. Nothing without a root.
    void prepare_vault() const;
    // Whether open_vault() would not wait for the Secret Service (true without a root: opening fails at once).
    [[nodiscard]] bool vault_ready() const;

    // Settles a pending journal first (recover_mutation), then records the given store and statuses and the
    // current bytes of "vault.enc" as the journal. Errors: the recovery's sentence, "no config dir",
    // "could not read credential vault: {}" (a vault file that exists but cannot be read is never recorded as
    // absent, which a recovery would take as "delete it"), "could not persist account transaction intent: {}".
    [[nodiscard]] std::expected<void, std::string> begin_mutation(const AccountStore& store,
                                                                  const AccountSyncStatusStore& statuses) const;
    // Removes the journal (a missing one is no error) and syncs its directory (best effort).
    // Error: "could not clear account transaction intent: {}".
    [[nodiscard]] std::expected<void, std::string> clear_mutation() const;
    // Puts back the state a journal records and removes the journal; nothing to do without a journal. Stops at
    // the first failure and keeps the journal, so that the next recovery starts again:
    //   "could not read account transaction intent: {}", "account transaction intent is invalid: {}",
    //   "could not recover account metadata: {}", "could not recover account sync status: {}",
    //   "could not recover credential vault: {}", or clear_mutation()'s error.
    [[nodiscard]] std::expected<void, std::string> recover_mutation() const;
    // At start-up: when a root resolves, recovers an interrupted change; a failure is logged as the warning
    // "could not recover interrupted account mutation".
    void recover_interrupted_mutation() const;

    // The accounts grouped for the External Accounts page, with the one-time legacy import (lists.hpp).
    [[nodiscard]] AccountLists load_store_with_legacy_import() const;
};

// Undoes a credential change of a failed account change: puts the remembered secret back under the id (or removes
// the id when there was none) and saves the vault; the vault's error otherwise.
[[nodiscard]] std::expected<void, std::string> put_back_credential(
    const AccountPaths& paths, std::string_view id, const std::optional<account_registry::SecretString>& remembered);

// Ends a change: removes the journal. When that fails with E, the journal's state is put back and the result is
// "could not complete {label}: {E}; changes were rolled back", or "...; recovery also failed: {R}".
// Labels: "account save", "account removal".
[[nodiscard]] std::expected<void, std::string> commit_account_mutation(const AccountPaths& paths,
                                                                       std::string_view label);

}  // namespace settings::accounts
