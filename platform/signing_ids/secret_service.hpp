#pragma once
// Signing keys in locked memory, and the desktop's Secret Service as a place to keep them.
//
// SecretKey holds one Ed25519 key (libsodium's 64-byte secret key: the seed followed by the public key) in memory
// from sodium_malloc (kept out of swap, guarded), wiped and released when it goes.
//
// SecretServiceKeys keeps identity keys in the Secret Service, one item per identity (schema
// "so.vorn.settings.SigningIdentity", attribute "identity" = the id) holding the seed in hex. The real one,
// KeyringKeys, goes through account_registry::secret_service (libsecret, every call bounded, never a prompt: a locked
// keyring counts as unavailable). secret_service() is the one the identity functions use; tests put another in place:
//
//   signing_ids::ScopedSecretService scoped(std::make_shared<MyFakeKeys>());

#include <array>
#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace signing_ids {

class SecretKey {
public:
    static constexpr std::size_t seed_size = 32;
    static constexpr std::size_t size = 64;

    // The key of a seed; an error when locked memory cannot be had.
    [[nodiscard]] static std::expected<std::shared_ptr<const SecretKey>, std::string> from_seed(
        std::span<const std::uint8_t, seed_size> seed);
    // The key read from 64 hexadecimal digits of a seed (white space around them ignored).
    [[nodiscard]] static std::expected<std::shared_ptr<const SecretKey>, std::string> from_seed_hex(std::string_view hex);
    // A new random key.
    [[nodiscard]] static std::expected<std::shared_ptr<const SecretKey>, std::string> generate();

    SecretKey(const SecretKey&) = delete;
    SecretKey& operator=(const SecretKey&) = delete;
    ~SecretKey();

    [[nodiscard]] std::span<const std::uint8_t, seed_size> seed() const { return std::span<const std::uint8_t, seed_size>(bytes_, seed_size); }
    [[nodiscard]] std::array<std::uint8_t, 32> public_key() const;
    [[nodiscard]] std::span<const std::uint8_t, size> bytes() const { return std::span<const std::uint8_t, size>(bytes_, size); }

private:
    explicit SecretKey(std::uint8_t* bytes) : bytes_(bytes) {}
    std::uint8_t* bytes_;
};

class SecretServiceKeys {
public:
    virtual ~SecretServiceKeys() = default;

    // Whether the Secret Service can be reached now.
    [[nodiscard]] virtual bool available() = 0;
    // Keeps the key's seed under the id (replacing what was kept under it); `label` is the item's name in the
    // keyring.
    [[nodiscard]] virtual std::expected<void, std::string> store(std::string_view id, std::string_view label,
                                                                 const SecretKey& key) = 0;
    [[nodiscard]] virtual std::expected<std::shared_ptr<const SecretKey>, std::string> lookup(std::string_view id) = 0;
    // Removes what is kept under the id (nothing kept is no error).
    [[nodiscard]] virtual std::expected<void, std::string> clear(std::string_view id) = 0;
};

class KeyringKeys final : public SecretServiceKeys {
public:
    static constexpr std::string_view schema = "so.vorn.settings.SigningIdentity";
    static constexpr std::string_view attribute = "identity";

    // `limit` bounds each call of the service.
    explicit KeyringKeys(std::chrono::milliseconds limit = std::chrono::seconds(5)) : limit_(limit) {}

    bool available() override;
    std::expected<void, std::string> store(std::string_view id, std::string_view label, const SecretKey& key) override;
    std::expected<std::shared_ptr<const SecretKey>, std::string> lookup(std::string_view id) override;
    std::expected<void, std::string> clear(std::string_view id) override;

private:
    std::chrono::milliseconds limit_;
};

// The Secret Service the identity functions use (a KeyringKeys until replaced).
[[nodiscard]] std::shared_ptr<SecretServiceKeys> secret_service();
// Puts `keys` in place (nullptr: the real one again) and returns the previous one.
std::shared_ptr<SecretServiceKeys> replace_secret_service(std::shared_ptr<SecretServiceKeys> keys);

class [[nodiscard]] ScopedSecretService {
public:
    explicit ScopedSecretService(std::shared_ptr<SecretServiceKeys> keys)
        : previous_(replace_secret_service(std::move(keys)))
    {
    }
    ~ScopedSecretService() { replace_secret_service(std::move(previous_)); }
    ScopedSecretService(const ScopedSecretService&) = delete;
    ScopedSecretService& operator=(const ScopedSecretService&) = delete;

private:
    std::shared_ptr<SecretServiceKeys> previous_;
};

}  // namespace signing_ids
