#pragma once
// Removing an online account: its credential from the vault, its record from the account store and its entry
// from the sync status store, inside one mutation journal bracket. When a later write fails the earlier ones are
// written back, so that an account never keeps its record without its credential, or the reverse.

#include "accounts/paths.hpp"
#include "accounts/records.hpp"

#include <expected>
#include <string>
#include <string_view>

namespace settings::accounts {

// Nothing, or an error sentence:
//   "account type changed before removal; refresh Settings and try again"   (the stored account is of another kind)
//   the journal's sentence when the change cannot begin                     (nothing changed)
//   "could not read account store: {}", "could not read account sync status: {}", "could not open credential
//     vault: {}"                                                             (nothing changed)
//   "could not remove saved credential: {}"
//   "could not remove account metadata: {}" [+ "; rollback also failed: {}"]
//   "could not remove account sync status: {}" [+ "; rollback also failed: {}"]
//   the commit's sentence (see commit_account_mutation)
// An id that is stored nowhere is removed all the same (nothing changes). Runs on the UI thread.
[[nodiscard]] std::expected<void, std::string> remove_account(const AccountPaths& paths, AccountKind kind,
                                                              std::string_view id);

}  // namespace settings::accounts
