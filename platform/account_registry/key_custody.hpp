#pragma once
// Where the credential vault's key is kept: in the desktop's Secret Service when one is running and unlocked, else
// in the owner-only key file "vault.key" beside "vault.enc".
//
// The custody of each vault directory is found once per process, on a worker thread (libsecret's calls are
// bounded; see secret_service.hpp), and remembered: the key found in the Secret Service stays in locked memory for
// the life of the process, so that opening the vault again never asks the service. While the Secret Service is
// usable, a key that is still in the local file is moved into it (stored, read back and compared, then the file is
// removed): the key itself never changes, so every older copy of "vault.enc" (the account journal keeps one) stays
// readable. A key is never made here; SecretVault::save() makes the first one in the local file and hands it over
// with adopt_local_key().
//
// The UI thread calls prepare() early (it returns at once) and asks ready() before it opens the vault; snapshot()
// waits for a custody still being found, at most the Secret Service limit, and then goes on without it.
// Any thread.

#include "account_registry/secret.hpp"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace account_registry::key_custody {

// The Secret Service item: this schema, with the attribute "vault" = the vault directory's absolute path, holding
// the 32-byte key in Base64.
inline constexpr std::string_view schema_name = "so.vorn.settings.AccountVault";
inline constexpr std::string_view attribute_name = "vault";
inline constexpr std::string_view item_label = "Vorn Settings account vault key";

// How long one call of the Secret Service may take.
inline constexpr std::chrono::milliseconds default_limit{3000};

// What is known about the custody of one vault directory.
struct Custody {
    std::optional<SecretBytes> secret_service_key;  // the key kept in the Secret Service
    bool secret_service_usable = false;             // running and unlocked: a local key moves into it
    std::string problem;                            // why it is not usable (for the log), or empty
};

// Starts finding the custody when it has not been found yet, or when the Secret Service was not usable last time
// (it may have been started or unlocked since). Returns at once; without a session bus it is settled at once.
void prepare(const std::filesystem::path& vault_dir);

// Whether the custody is settled, so that opening the vault does not wait.
[[nodiscard]] bool ready(const std::filesystem::path& vault_dir);

// The custody, found first when needed (waiting at most for the Secret Service's limit); a copy the caller owns.
[[nodiscard]] Custody snapshot(const std::filesystem::path& vault_dir);

// The vault has just made its key in the local file: when the Secret Service is usable, moves it there on a worker.
void adopt_local_key(const std::filesystem::path& vault_dir);

// The key of the vault in the Secret Service as a fresh process would find it, ignoring what this process
// remembers: for tests.
[[nodiscard]] std::optional<SecretBytes> lookup_for_testing(const std::filesystem::path& vault_dir);

// Forgets every custody found (as a new process would start) and drops the Secret Service connection; waits for
// workers still running. For tests.
void reset_for_testing();
// Waits until no custody is being found or moved (for tests; bounded by a few limits).
void settle_for_testing();
// The limit of each Secret Service call (tests shorten it).
void set_limit_for_testing(std::chrono::milliseconds limit);

}  // namespace account_registry::key_custody
