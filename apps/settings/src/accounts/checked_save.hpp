#pragma once
// What the External Accounts page does once the connection check of a form has succeeded: the journaled save of
// the account and its credential, and the replacement of a saved credential.
//
// save_checked_draft() runs inside one mutation journal bracket (paths.hpp): the account store and statuses are
// read (a store that cannot be read stops the save: nothing is ever written over it), the credential is put into
// the vault first, then the store is written; when the store cannot be written the credential is put back by hand,
// so that a credential never stays without its account. The status store is never written by a save.
//
// update_credential() replaces the saved credential of an account that still exists; it uses no journal and
// touches neither the account store nor the status store.
//
// Both run on the UI thread, one change at a time.

#include "accounts/drafts.hpp"
#include "accounts/paths.hpp"
#include "accounts/records.hpp"

#include "account_registry/secret.hpp"

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace settings::accounts {

// The form as it was submitted for a check, kept until the check answers: the draft is built again from it (so
// that the store is read anew) under the id the check was made for.
struct CheckedForm {
    std::string reserved_id;
    AccountKind kind = AccountKind::Mail;
    std::optional<std::string> editing_id;
    std::string display_name;
    std::string email;
    std::string username;
    std::string server_url;
    account_registry::SecretString password;  // as typed; empty keeps the saved credential of an edited account

    // The draft's identity input: the email address for Mail, the user name for the other kinds.
    [[nodiscard]] DraftInputs inputs() const;
};

// Saves the checked form. Sentences, besides those of save_account_draft():
//   "could not read account store: {}", "could not read account sync status: {}"   (nothing changed)
//   the journal's sentence when the change cannot begin                              (nothing changed)
//   "could not open credential vault: {}", "could not save credential: {}"           (journal cleared)
//   "could not persist account: {}" [+ "; credential rollback also failed: {}"]      (the latter keeps the journal)
//   the commit's sentence (see commit_account_mutation)
// A failed store write is also logged as "failed to persist account metadata".
[[nodiscard]] std::expected<void, std::string> save_checked_draft(const AccountPaths& paths, const CheckedForm& form);

// Puts `secret` under the id in the vault and saves it, when the account is still in the store. Sentences:
// "could not read account store: {}", "account no longer exists", "could not open credential vault: {}", the
// vault's save error.
[[nodiscard]] std::expected<void, std::string> update_credential(const AccountPaths& paths, std::string_view id,
                                                                 const account_registry::SecretString& secret);

}  // namespace settings::accounts
