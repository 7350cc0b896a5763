#pragma once
// The credential vault: account secrets by account id, encrypted at rest in "vault.enc".
//
// The file is sealed with XChaCha20-Poly1305 (libsodium) under a 32-byte key kept in the desktop's Secret Service
// when one is running and unlocked, else in the owner-only file "vault.key" beside it (mode 0600); a key in the file
// moves into the Secret Service once that is usable (key_custody.hpp). Layout:
//   "VORNVLT1" | format 1 (one byte) | key id (16 bytes, a keyed BLAKE2b hash that names the key) |
//   nonce (24 random bytes, new on every save) | sealed entries (the header is authenticated with them)
// The entries are a count and, per entry, the id and the secret, each with a 32-bit little-endian length.
//
// The key is made once, on the first save, and never replaced while a vault file exists: older copies of the file
// (kept by the settings program's account journal) must stay readable; moving it into the Secret Service keeps it. A vault file that cannot be read, is
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
    // The vault below the configuration root `root` (root/vault/vault.enc). The first open of a process may wait
    // for the Secret Service (bounded); the UI thread calls prepare_in() early and opens once ready_in() is true.
    [[nodiscard]] static std::expected<SecretVault, std::string> open_in(const std::filesystem::path& root);

    // Starts finding where the key of the vault below `root` is kept, on a worker; returns at once.
    static void prepare_in(const std::filesystem::path& root);
    // Whether open_in(root) would not wait for the Secret Service.
    [[nodiscard]] static bool ready_in(const std::filesystem::path& root);

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

    // True when the desktop Secret Service could not be used when the vault was opened (none running, locked, or
    // not answering): the key is kept in the owner-only local file.
    [[nodiscard]] bool secret_service_unavailable() const { return secret_service_unavailable_; }

    [[nodiscard]] const std::filesystem::path& file() const { return file_; }
    [[nodiscard]] std::filesystem::path key_file() const;

private:
    SecretVault() = default;

    std::filesystem::path dir_;
    std::filesystem::path file_;
    SecretBytes key_;  // empty until a key exists
    bool secret_service_unavailable_ = true;
    std::map<std::string, SecretString, std::less<>> entries_;
};

}  // namespace account_registry
