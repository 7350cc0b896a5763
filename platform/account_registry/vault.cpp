#include "account_registry/vault.hpp"

#include "account_registry/key_custody.hpp"
#include "account_registry/local_key.hpp"
#include "account_registry/registry.hpp"

#include <sodium.h>
#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace account_registry {
namespace {

constexpr std::string_view magic = "VORNVLT1";
constexpr std::uint8_t format_version = 1;
static_assert(local_key::key_size == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
constexpr std::size_t key_id_size = 16;
constexpr std::size_t nonce_size = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t header_size = magic.size() + 1 + key_id_size + nonce_size;
constexpr std::string_view key_id_context = "vorn-vault-key-id";

bool sodium_ready() { return sodium_init() >= 0; }

std::array<std::uint8_t, key_id_size> key_id_of(const SecretBytes& key)
{
    std::array<std::uint8_t, key_id_size> id{};
    crypto_generichash(id.data(), id.size(), reinterpret_cast<const unsigned char*>(key_id_context.data()),
                       key_id_context.size(), key.data(), key.size());
    return id;
}

void put_u32(SecretBytes& out, std::size_t& at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.data()[at++] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

bool get_u32(std::span<const std::uint8_t> in, std::size_t& at, std::uint32_t& value)
{
    if (in.size() - at < 4) {
        return false;
    }
    value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(in[at++]) << (8 * i);
    }
    return true;
}

}  // namespace

std::expected<SecretVault, std::string> SecretVault::open()
{
    const auto root = config_root();
    if (!root) {
        return std::unexpected(std::string("no config dir"));
    }
    return open_in(*root);
}

void SecretVault::prepare_in(const std::filesystem::path& root) { key_custody::prepare(vault_dir_in(root)); }

bool SecretVault::ready_in(const std::filesystem::path& root) { return key_custody::ready(vault_dir_in(root)); }

std::expected<SecretVault, std::string> SecretVault::open_in(const std::filesystem::path& root)
{
    SecretVault vault;
    vault.dir_ = vault_dir_in(root);
    vault.file_ = vault.dir_ / "vault.enc";
    const std::string shown = vault.file_.string();
    if (!sodium_ready()) {
        return std::unexpected(fmt::format("credential vault {} cannot be opened: libsodium is unavailable", shown));
    }

    // The local key is read before the custody is asked: a key moving into the Secret Service is published there
    // before its file goes, so it is always found in one of the two places.
    auto local = local_key::read(vault.key_file());
    if (!local) {
        return std::unexpected(fmt::format("credential vault {} cannot be opened: {}", shown, local.error()));
    }
    key_custody::Custody custody = key_custody::snapshot(vault.dir_);
    vault.secret_service_unavailable_ = !custody.secret_service_usable;

    auto sealed = files::read(vault.file_);
    if (!sealed) {
        return std::unexpected(fmt::format("credential vault cannot be read: {}", sealed.error()));
    }
    if (!*sealed) {
        // No vault yet: the key it will be sealed with, if there is one already.
        if (custody.secret_service_key) {
            vault.key_ = std::move(*custody.secret_service_key);
        } else if (*local) {
            vault.key_ = std::move(**local);
        }
        return vault;
    }

    const std::string& text = **sealed;
    const auto damaged = [&](std::string_view why) {
        return std::unexpected(fmt::format("credential vault {} is damaged: {}", shown, why));
    };
    if (text.size() < header_size + crypto_aead_xchacha20poly1305_ietf_ABYTES ||
        std::string_view(text).substr(0, magic.size()) != magic) {
        return damaged("it is not a vault file");
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (bytes[magic.size()] != format_version) {
        return std::unexpected(
            fmt::format("credential vault {} has format {}, which this version cannot read", shown,
                        static_cast<int>(bytes[magic.size()])));
    }
    // The key that sealed the file, wherever it is kept.
    const auto sealed_with = [&](const SecretBytes& key) {
        const auto key_id = key_id_of(key);
        return std::memcmp(bytes + magic.size() + 1, key_id.data(), key_id.size()) == 0;
    };
    if (custody.secret_service_key && sealed_with(*custody.secret_service_key)) {
        vault.key_ = std::move(*custody.secret_service_key);
    } else if (*local && sealed_with(**local)) {
        vault.key_ = std::move(**local);
    } else if (!custody.secret_service_key && !*local) {
        return std::unexpected(
            custody.secret_service_usable
                ? fmt::format("credential vault {} cannot be opened: its key is neither in the desktop Secret "
                              "Service nor in its key file {}",
                              shown, vault.key_file().string())
                : fmt::format("credential vault {} cannot be opened: its key file {} is missing and the desktop "
                              "Secret Service cannot be asked ({})",
                              shown, vault.key_file().string(), custody.problem));
    } else {
        std::string kept;
        if (custody.secret_service_key) {
            kept = "the key in the desktop Secret Service";
        }
        if (*local) {
            kept += (kept.empty() ? "" : " or ") + vault.key_file().string();
        }
        return std::unexpected(fmt::format("credential vault {} was sealed with another key than {}", shown, kept));
    }
    const std::uint8_t* nonce = bytes + magic.size() + 1 + key_id_size;
    const std::size_t sealed_size = text.size() - header_size;
    SecretBytes plain(sealed_size - crypto_aead_xchacha20poly1305_ietf_ABYTES);
    unsigned long long plain_size = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(plain.data(), &plain_size, nullptr, bytes + header_size,
                                                   sealed_size, bytes, header_size, nonce, vault.key_.data()) != 0) {
        return damaged("its contents do not authenticate");
    }

    const std::span<const std::uint8_t> in = plain.bytes().first(static_cast<std::size_t>(plain_size));
    std::size_t at = 0;
    std::uint32_t count = 0;
    if (!get_u32(in, at, count)) {
        return damaged("its entries are cut short");
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t id_size = 0;
        if (!get_u32(in, at, id_size) || in.size() - at < id_size) {
            return damaged("its entries are cut short");
        }
        std::string id(reinterpret_cast<const char*>(in.data() + at), id_size);
        at += id_size;
        std::uint32_t secret_size = 0;
        if (!get_u32(in, at, secret_size) || in.size() - at < secret_size) {
            return damaged("its entries are cut short");
        }
        SecretString secret(SecretBytes(in.subspan(at, secret_size)));
        at += secret_size;
        vault.entries_.insert_or_assign(std::move(id), std::move(secret));
    }
    if (at != in.size()) {
        return damaged("it has data after its entries");
    }
    return vault;
}

const SecretString* SecretVault::get(std::string_view id) const
{
    const auto found = entries_.find(id);
    return found == entries_.end() ? nullptr : &found->second;
}

void SecretVault::put(std::string id, SecretString secret) { entries_.insert_or_assign(std::move(id), std::move(secret)); }

std::optional<SecretString> SecretVault::take(std::string_view id)
{
    const auto found = entries_.find(id);
    if (found == entries_.end()) {
        return std::nullopt;
    }
    SecretString secret = std::move(found->second);
    entries_.erase(found);
    return secret;
}

std::vector<std::string> SecretVault::ids() const
{
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const auto& [id, secret] : entries_) {
        out.push_back(id);
    }
    return out;
}

std::filesystem::path SecretVault::key_file() const { return local_key::file_in(dir_); }

std::expected<void, std::string> SecretVault::save()
{
    const std::string shown = file_.string();
    if (!sodium_ready()) {
        return std::unexpected(fmt::format("could not save the credential vault {}: libsodium is unavailable", shown));
    }
    bool new_key = false;
    if (key_.empty()) {
        // The first key is made in the owner-only file and handed to the Secret Service afterwards (when it is
        // usable), so that saving never waits on the service.
        auto key = local_key::create(key_file());
        if (!key) {
            return std::unexpected(fmt::format("could not save the credential vault {}: {}", shown, key.error()));
        }
        key_ = std::move(*key);
        new_key = true;
    }

    std::size_t plain_size = 4;
    for (const auto& [id, secret] : entries_) {
        plain_size += 8 + id.size() + secret.size();
    }
    SecretBytes plain(plain_size);
    std::size_t at = 0;
    put_u32(plain, at, static_cast<std::uint32_t>(entries_.size()));
    for (const auto& [id, secret] : entries_) {
        put_u32(plain, at, static_cast<std::uint32_t>(id.size()));
        std::memcpy(plain.data() + at, id.data(), id.size());
        at += id.size();
        put_u32(plain, at, static_cast<std::uint32_t>(secret.size()));
        if (!secret.empty()) {
            std::memcpy(plain.data() + at, secret.bytes().data(), secret.size());
        }
        at += secret.size();
    }

    std::string sealed(header_size + plain_size + crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(sealed.data());
    std::memcpy(out, magic.data(), magic.size());
    out[magic.size()] = format_version;
    const auto key_id = key_id_of(key_);
    std::memcpy(out + magic.size() + 1, key_id.data(), key_id.size());
    std::uint8_t* nonce = out + magic.size() + 1 + key_id_size;
    randombytes_buf(nonce, nonce_size);
    unsigned long long sealed_size = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(out + header_size, &sealed_size, plain.data(), plain.size(), out,
                                               header_size, nullptr, nonce, key_.data());
    sealed.resize(header_size + static_cast<std::size_t>(sealed_size));

    if (auto ok = files::write_private(file_, sealed); !ok) {
        return std::unexpected(fmt::format("could not save the credential vault: {}", ok.error()));
    }
    if (new_key) {
        key_custody::adopt_local_key(dir_);
    }
    return {};
}

}  // namespace account_registry
