#pragma once
// The model gateway's API keys: one key per model provider id, kept in the user's key store.
//
// The store is a directory, "<data dir>/vorn/model-gateway/" (see user_dirs::data_dir; mode 0700), holding
//   "api-keys.enc"  the keys, encrypted (XChaCha20-Poly1305 from libsodium) as one JSON envelope:
//                   { "version": 1, "cipher": "xchacha20poly1305-ietf", "nonce": <base64>, "ciphertext": <base64> }
//   "api-keys.key"  the store's own 32-byte key,
// both mode 0600 and written whole and atomically, and the lock file "api-keys.lock" that keeps writers apart.
// The encryption keeps the keys out of any copy of the key file alone (a backup, a bug report, a search through the
// home directory); it does not protect them from programs running as the user, which can read both files.
//
// Keys are never logged, never put into an error text, and held in memory only in SecretText buffers, which are
// wiped after use. A store that cannot be decrypted or read is reported as such and never silently replaced; only
// storing a new key starts a fresh store, after keeping the damaged files beside it as "<file>.damaged-<unix time>".

#include "model_providers/model_providers.hpp"
#include "vorn_model_gateway/secret_text.hpp"

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vorn_model_gateway {

struct ClientError {
    enum class Kind : std::uint8_t {
        InvalidInput,  // an empty or malformed provider id or key
        Unavailable,   // no data directory for the store
        Damaged,       // the store exists but cannot be decrypted or decoded
        Io,            // a file could not be read or written
    };
    Kind kind = Kind::Io;
    // A short sentence for the user ("the API key is empty", "could not write …: No space left on device").
    std::string message;
};

class ApiKeyStore {
public:
    explicit ApiKeyStore(std::filesystem::path directory);
    // The user's store in "<data dir>/vorn/model-gateway".
    [[nodiscard]] static std::expected<ApiKeyStore, ClientError> for_user();

    [[nodiscard]] const std::filesystem::path& directory() const { return directory_; }
    [[nodiscard]] std::filesystem::path keys_file() const { return directory_ / "api-keys.enc"; }
    [[nodiscard]] std::filesystem::path key_file() const { return directory_ / "api-keys.key"; }

    // Whether a key is stored for the provider.
    [[nodiscard]] std::expected<bool, ClientError> secret_configured(std::string_view provider_id) const;
    // The provider's key, or none.
    [[nodiscard]] std::expected<std::optional<SecretText>, ClientError> api_key(std::string_view provider_id) const;
    // Stores or replaces the provider's key. Takes the text: whatever the outcome, `key` is wiped (its whole
    // capacity) and left empty. Surrounding white space is dropped; an empty key, one with line breaks or other
    // control characters inside, or one longer than 16 KiB is refused.
    [[nodiscard]] std::expected<void, ClientError> set_api_key(std::string_view provider_id, std::string&& key) const;
    // Deletes the provider's key; deleting a key that is not there succeeds without writing.
    [[nodiscard]] std::expected<void, ClientError> remove_api_key(std::string_view provider_id) const;

private:
    std::filesystem::path directory_;
};

// The same operations on the user's store.
[[nodiscard]] std::expected<bool, ClientError> secret_configured(std::string_view provider_id);
[[nodiscard]] std::expected<std::optional<SecretText>, ClientError> api_key(std::string_view provider_id);
[[nodiscard]] std::expected<void, ClientError> set_api_key(std::string_view provider_id, std::string&& key);
[[nodiscard]] std::expected<void, ClientError> remove_api_key(std::string_view provider_id);

// Removes a model provider together with its API key, never leaving one without the other: the configuration
// without the provider is saved first, then the key is deleted; when saving fails the key is not touched, and when
// deleting the key fails the configuration file is put back as it was. `config` changes only on success. The
// one-argument form uses the user's key store. See model_providers::ProviderConfig::remove_and_release.
[[nodiscard]] std::expected<void, model_providers::RemovalError> remove_provider(
    model_providers::ProviderConfig& config, std::string_view provider_id);
[[nodiscard]] std::expected<void, model_providers::RemovalError> remove_provider(
    model_providers::ProviderConfig& config, std::string_view provider_id, const ApiKeyStore& keys);

// The sentence for a failed removal: "provider is no longer available", "provider settings were not saved: {}",
// "provider vault key was not removed: {}" (followed by "; the provider settings could not be restored: {}" in
// the rare case that the configuration could not be put back).
[[nodiscard]] std::string removal_sentence(const model_providers::RemovalError& error);

}  // namespace vorn_model_gateway
