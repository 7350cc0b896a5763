#pragma once
// The vault key in its owner-only local file "vault.key" (32 random bytes, mode 0600) beside "vault.enc": where the
// key is kept while the desktop has no usable Secret Service (see key_custody.hpp).

#include "account_registry/secret.hpp"

#include <cstddef>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

namespace account_registry::local_key {

inline constexpr std::size_t key_size = 32;

// "<vault dir>/vault.key".
[[nodiscard]] std::filesystem::path file_in(const std::filesystem::path& vault_dir);

// The key in the file; none when the file does not exist. The file is never followed through a link, and a file
// that others may read is put back to 0600. Errors: "its key file <path> cannot be read: <reason>", "its key file
// <path> is damaged".
[[nodiscard]] std::expected<std::optional<SecretBytes>, std::string> read(const std::filesystem::path& file);

// Creates the file with a new random key, or reads the one that exists already. The key appears whole or not at
// all: it is written to a temporary file and linked into place, which fails when the name exists.
[[nodiscard]] std::expected<SecretBytes, std::string> create(const std::filesystem::path& file);

// Removes the file (a missing one is no error) and syncs its directory.
[[nodiscard]] std::expected<void, std::string> remove(const std::filesystem::path& file);

}  // namespace account_registry::local_key
