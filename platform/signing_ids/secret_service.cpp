#include "signing_ids/secret_service.hpp"

#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <sodium.h>

#include <mutex>

namespace signing_ids {

namespace {

constexpr std::string_view attribute = "vorn-signing-identity";

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

void wipe(std::string& text)
{
    if (!text.empty()) {
        sodium_memzero(text.data(), text.size());
    }
    text.clear();
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

// ---- SecretToolKeys --------------------------------------------------------------------------------------------------

SecretToolKeys::SecretToolKeys(std::shared_ptr<cmd_runner::Runner> runner) : SecretToolKeys(std::move(runner), Options{}) {}

SecretToolKeys::SecretToolKeys(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(std::move(options))
{
}

cmd_runner::Result SecretToolKeys::run(std::vector<std::string> args, std::optional<std::string> input,
                                       std::chrono::milliseconds limit) const
{
    cmd_runner::Command command{.program = options_.secret_tool,
                                .args = std::move(args),
                                .input = std::move(input),
                                .time_limit = limit,
                                .output_limit = 64 * 1024};
    auto result = runner_->run(command);
    if (command.input) {
        wipe(*command.input);
    }
    return result;
}

bool SecretToolKeys::available()
{
    if (!cmd_runner::program_available(options_.secret_tool)) {
        return false;
    }
    const auto ask = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--user", "call", "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus"});
        auto out = runner_->run({.program = options_.busctl, .args = std::move(args), .time_limit = options_.probe_limit});
        return out && out->status.success() ? out->stdout_text() : std::string();
    };
    if (ask({"NameHasOwner", "s", "org.freedesktop.secrets"}).starts_with("b true")) {
        return true;
    }
    return ask({"ListActivatableNames"}).find("\"org.freedesktop.secrets\"") != std::string::npos;
}

std::expected<void, std::string> SecretToolKeys::store(std::string_view id, std::string_view label, const SecretKey& key)
{
    std::string hex(2 * SecretKey::seed_size + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), key.seed().data(), key.seed().size());
    hex.pop_back();  // the terminating NUL; the size stays within the first allocation
    const auto result = run({"store", fmt::format("--label={}", label), std::string(attribute), std::string(id)},
                            std::move(hex), options_.item_limit);
    if (!result) {
        return std::unexpected(fmt::format("could not keep the key in the Secret Service: {}", result.error().message));
    }
    if (!result->status.success()) {
        return std::unexpected(
            fmt::format("could not keep the key in the Secret Service: {}", cmd_runner::failure_text(*result, "secret-tool")));
    }
    return {};
}

std::expected<std::shared_ptr<const SecretKey>, std::string> SecretToolKeys::lookup(std::string_view id)
{
    auto result = run({"lookup", std::string(attribute), std::string(id)}, std::nullopt, options_.item_limit);
    if (!result) {
        return std::unexpected(fmt::format("could not read the key from the Secret Service: {}", result.error().message));
    }
    if (!result->status.success() || result->stdout_bytes.empty()) {
        wipe(result->stdout_bytes);
        return std::unexpected("the Secret Service holds no key for this identity (or the keyring is locked)");
    }
    auto key = SecretKey::from_seed_hex(result->stdout_bytes);
    wipe(result->stdout_bytes);
    return key;
}

std::expected<void, std::string> SecretToolKeys::clear(std::string_view id)
{
    const auto result = run({"clear", std::string(attribute), std::string(id)}, std::nullopt, options_.item_limit);
    if (!result) {
        return std::unexpected(
            fmt::format("could not remove the key from the Secret Service: {}", result.error().message));
    }
    // secret-tool clear answers 1 both when nothing matched and when it failed; only its message tells them apart.
    if (!result->status.success() && !result->stderr_bytes.empty()) {
        return std::unexpected(fmt::format("could not remove the key from the Secret Service: {}",
                                           cmd_runner::failure_text(*result, "secret-tool")));
    }
    return {};
}

// ---- The current one -------------------------------------------------------------------------------------------------

std::shared_ptr<SecretServiceKeys> secret_service()
{
    const std::lock_guard lock(slot_mutex());
    if (!slot()) {
        slot() = std::make_shared<SecretToolKeys>();
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
