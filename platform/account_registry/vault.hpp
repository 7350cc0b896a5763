#pragma once
// The credential vault: account secrets by account id, encrypted at rest in "vault.enc".
//
// The file is sealed with XChaCha20-Poly1305 (libsodium) under a 32-byte key kept in "vault.key" beside it
// (mode 0600, owner-only; this build has no Secret Service custody, see secret_service_unavailable()). Layout:
//   "VORNVLT1" | format 1 (one byte) | key id (16 bytes, a keyed BLAKE2b hash that names the key) |
//   nonce (24 random bytes, new on every save) | sealed entries (the header is authenticated with them)
// The entries are a count and, per entry, the id and the secret, each with a 32-bit little-endian length.
//
// The key is made once, on the first save, and never replaced while a vault file exists: older copies of the file
// (kept by the settings program's account journal) must stay readable. A vault file that cannot be read, is
// damaged or has no usable key fails open() with a sentence that says so; it is never taken for an empty vault,
// which a later save would write over the credentials it still holds.
//
// Secrets live in SecretString values (wiped memory); the decrypted file is wiped as soon as it is parsed.

#include "account_registry/secret.hpp"

#include <expected>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace account_registry {

class SecretVault {
public:
    // The vault of the default configuration root (error "no config dir" when there is none).
    [[nodiscard]] static std::expected<SecretVault, std::string> open();
    // The vault below the configuration root `root` (root/vault/vault.enc).
    [[nodiscard]] static std::expected<SecretVault, std::string> open_in(const std::filesystem::path& root);

    SecretVault(SecretVault&&) noexcept = default;
    SecretVault& operator=(SecretVault&&) noexcept = default;
    SecretVault(const SecretVault&) = delete;
    SecretVault& operator=(const SecretVault&) = delete;
    ~SecretVault() = default;

    [[nodiscard]] const SecretString* get(std::string_view id) const;
    [[nodiscard]] bool contains(std::string_view id) const { return get(id) != nullptr; }
    // Replaces the entry of the id.
    void put(std::string id, SecretString secret);
    // Removes the entry and hands its secret back; none when there was none.
    std::optional<SecretString> take(std::string_view id);
    bool remove(std::string_view id) { return take(id).has_value(); }
    [[nodiscard]] std::vector<std::string> ids() const;
    [[nodiscard]] std::size_t size() const { return entries_.size(); }

    // Seals the entries and replaces the vault file atomically (mode 0600), creating the key first when there is
    // none. Errors: "could not save the credential vault <path>: <reason>".
    [[nodiscard]] std::expected<void, std::string> save();

    // True: this build keeps the vault key in an owner-only local file, not in the desktop Secret Service.
    [[nodiscard]] bool secret_service_unavailable() const { return true; }

    [[nodiscard]] const std::filesystem::path& file() const { return file_; }
    [[nodiscard]] std::filesystem::path key_file() const;

private:
    SecretVault() = default;

    std::filesystem::path dir_;
    std::filesystem::path file_;
    SecretBytes key_;  // empty until a key exists
    std::map<std::string, SecretString, std::less<>> entries_;
};

}  // namespace account_registry
