#include "signing_ids/secret_service.hpp"

#include "account_registry/secret_service.hpp"

#include <fmt/format.h>
#include <sodium.h>

#include <mutex>

namespace signing_ids {

namespace {

bool sodium_ready()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::expected<std::uint8_t*, std::string> locked_block()
{
    if (!sodium_ready()) {
        return std::unexpected("the cryptography library could not start");
    }
    auto* bytes = static_cast<std::uint8_t*>(sodium_malloc(SecretKey::size));
    if (bytes == nullptr) {
        return std::unexpected("no locked memory is left for a signing key");
    }
    return bytes;
}

std::mutex& slot_mutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<SecretServiceKeys>& slot()
{
    static std::shared_ptr<SecretServiceKeys> keys;
    return keys;
}

}  // namespace

// ---- SecretKey -------------------------------------------------------------------------------------------------------

std::expected<std::shared_ptr<const SecretKey>, std::string> SecretKey::from_seed(std::span<const std::uint8_t, seed_size> seed)
{
    auto bytes = locked_block();
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    std::array<std::uint8_t, 32> public_key{};
    crypto_sign_seed_keypair(public_key.data(), *bytes, seed.data());
    return std::shared_ptr<const SecretKey>(new SecretKey(*bytes));
}

std::expected<std::shared_ptr<const SecretKey>, std::string> SecretKey::from_seed_hex(std::string_view hex)
{
    while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r' || hex.back() == ' ')) {
        hex.remove_suffix(1);
    }
    while (!hex.empty() && (hex.front() == ' ' || hex.front() == '\n')) {
        hex.remove_prefix(1);
    }
    auto seed = locked_block();
    if (!seed) {
        return std::unexpected(seed.error());
    }
    std::size_t length = 0;
    const bool decoded = hex.size() == 2 * seed_size &&
                         sodium_hex2bin(*seed, seed_size, hex.data(), hex.size(), nullptr, &length, nullptr) == 0 &&
                         length == seed_size;
    std::expected<std::shared_ptr<const SecretKey>, std::string> key =
        decoded ? from_seed(std::span<const std::uint8_t, seed_size>(*seed, seed_size))
                : std::unexpected(std::string("the kept key is not a signing key"));
    sodium_free(*seed);
    return key;
}

std::expected<std::shared_ptr<const SecretKey>, std::string> SecretKey::generate()
{
    auto bytes = locked_block();
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    std::array<std::uint8_t, 32> public_key{};
    crypto_sign_keypair(public_key.data(), *bytes);
    return std::shared_ptr<const SecretKey>(new SecretKey(*bytes));
}

SecretKey::~SecretKey()
{
    sodium_free(bytes_);  // wipes the block first
}

std::array<std::uint8_t, 32> SecretKey::public_key() const
{
    std::array<std::uint8_t, 32> key{};
    crypto_sign_ed25519_sk_to_pk(key.data(), bytes_);
    return key;
}

// ---- KeyringKeys ---------------------------------------------------------------------------------------------------------

namespace keyring = account_registry::secret_service;

bool KeyringKeys::available()
{
    // Asking for an item no identity has answers "nothing stored" exactly when the service runs and is unlocked.
    return keyring::lookup(schema, {{std::string(attribute), ""}}, limit_).has_value();
}

std::expected<void, std::string> KeyringKeys::store(std::string_view id, std::string_view label, const SecretKey& key)
{
    account_registry::SecretBytes hex(2 * SecretKey::seed_size + 1);
    sodium_bin2hex(reinterpret_cast<char*>(hex.data()), hex.size(), key.seed().data(), key.seed().size());
    const account_registry::SecretBytes text(hex.bytes().first(2 * SecretKey::seed_size));
    if (auto stored = keyring::store(schema, {{std::string(attribute), std::string(id)}}, label, text, limit_); !stored) {
        return std::unexpected(fmt::format("could not keep the key in the Secret Service: {}", stored.error()));
    }
    return {};
}

std::expected<std::shared_ptr<const SecretKey>, std::string> KeyringKeys::lookup(std::string_view id)
{
    const auto found = keyring::lookup(schema, {{std::string(attribute), std::string(id)}}, limit_);
    if (!found) {
        return std::unexpected(fmt::format("could not read the key from the Secret Service: {}", found.error()));
    }
    if (!*found) {
        return std::unexpected("the Secret Service holds no key for this identity");
    }
    const auto bytes = (*found)->bytes();
    return SecretKey::from_seed_hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::expected<void, std::string> KeyringKeys::clear(std::string_view id)
{
    if (auto cleared = keyring::clear(schema, {{std::string(attribute), std::string(id)}}, limit_); !cleared) {
        return std::unexpected(fmt::format("could not remove the key from the Secret Service: {}", cleared.error()));
    }
    return {};
}

// ---- The current one -------------------------------------------------------------------------------------------------

std::shared_ptr<SecretServiceKeys> secret_service()
{
    const std::lock_guard lock(slot_mutex());
    if (!slot()) {
        slot() = std::make_shared<KeyringKeys>();
    }
    return slot();
}

std::shared_ptr<SecretServiceKeys> replace_secret_service(std::shared_ptr<SecretServiceKeys> keys)
{
    const std::lock_guard lock(slot_mutex());
    std::swap(slot(), keys);
    return keys;
}

}  // namespace signing_ids
