#pragma once
// Where the account registry keeps its files, and loading and saving the account store and the status store.
//
// Below a configuration root R (by default "<config dir>/vorn", the directory of the settings file):
//   R/accounts/accounts.json     the account store          (AccountStore, compact JSON, mode 0600)
//   R/accounts/sync-status.json  the account sync statuses  (AccountSyncStatusStore, compact JSON, mode 0600)
//   R/vault/vault.enc            the credential vault       (see vault.hpp)
//   R/vault/vault.key            the vault's key            (32 random bytes, mode 0600)
// Directories the registry creates get mode 0700. Every write replaces the whole file atomically.

#include "account_registry/records.hpp"

#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace account_registry {

// "<config dir>/vorn", or none when the user has no configuration directory.
[[nodiscard]] std::optional<std::filesystem::path> config_root();
[[nodiscard]] std::filesystem::path accounts_dir_in(const std::filesystem::path& root);
[[nodiscard]] std::filesystem::path vault_dir_in(const std::filesystem::path& root);
[[nodiscard]] std::filesystem::path store_file_in(const std::filesystem::path& root);
[[nodiscard]] std::filesystem::path status_file_in(const std::filesystem::path& root);

// A missing file is the empty store. A file that cannot be read or is not a valid store is an error — never an
// empty store, since saving that would throw every account away:
//   "could not read account store <path>: <reason>", "account store <path> is invalid: <reason>".
[[nodiscard]] std::expected<AccountStore, std::string> load_store_in(const std::filesystem::path& root);
[[nodiscard]] std::expected<void, std::string> save_store_in(const std::filesystem::path& root,
                                                             const AccountStore& store);
// The same for the statuses: "could not read account sync status <path>: ...", "account sync status <path> is
// invalid: ...".
[[nodiscard]] std::expected<AccountSyncStatusStore, std::string> load_statuses_in(const std::filesystem::path& root);
[[nodiscard]] std::expected<void, std::string> save_statuses_in(const std::filesystem::path& root,
                                                                const AccountSyncStatusStore& statuses);

// The file operations that account data goes through (the registry's own and the settings program's journal).
namespace files {

// The whole file; none when it does not exist; an error "<path>: <reason>" when it cannot be read.
[[nodiscard]] std::expected<std::optional<std::string>, std::string> read(const std::filesystem::path& path);
// Creates missing parent directories (mode 0700) and replaces the file atomically with mode 0600.
[[nodiscard]] std::expected<void, std::string> write_private(const std::filesystem::path& path,
                                                             std::string_view contents);
// The same for a file that holds nothing private: a new file gets 0666 minus the umask.
[[nodiscard]] std::expected<void, std::string> write(const std::filesystem::path& path, std::string_view contents);
// Removes the file and syncs its directory (best effort); a missing file is no error.
[[nodiscard]] std::expected<void, std::string> remove(const std::filesystem::path& path);
// Creates the directory and its missing parents with mode 0700.
[[nodiscard]] std::expected<void, std::string> create_private_dirs(const std::filesystem::path& dir);

// Test seam: when set, called before every write and removal above (and the vault's key creation) with what is
// about to happen ("write", "remove", "create key") and the path. An error fails the operation with that text
// before anything is touched; a hook may also end the process there to simulate a crash.
using Hook = std::function<std::expected<void, std::string>(std::string_view action, const std::filesystem::path&)>;
void set_hook_for_testing(Hook hook);
[[nodiscard]] std::expected<void, std::string> run_hook(std::string_view action, const std::filesystem::path& path);

}  // namespace files

}  // namespace account_registry
