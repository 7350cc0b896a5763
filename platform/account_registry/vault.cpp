#include "account_registry/vault.hpp"

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
constexpr std::size_t key_size = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr std::size_t key_id_size = 16;
constexpr std::size_t nonce_size = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t header_size = magic.size() + 1 + key_id_size + nonce_size;
constexpr std::string_view key_id_context = "vorn-vault-key-id";

std::string reason(int error) { return std::system_category().message(error); }

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

// The key in "vault.key": none when the file does not exist.
std::expected<std::optional<SecretBytes>, std::string> load_key(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::optional<SecretBytes>{};
        }
        return std::unexpected(fmt::format("its key file {} cannot be read: {}", path.string(), reason(errno)));
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077) != 0) {
        // An owner-only file is what we write; put it back to that if someone widened it.
        [[maybe_unused]] const int ignored = ::fchmod(fd, 0600);
    }
    SecretBytes key(key_size);
    std::array<std::uint8_t, 1> extra{};
    std::size_t got = 0;
    while (got < key_size) {
        const ssize_t n = ::read(fd, key.data() + got, key_size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    const bool longer = got == key_size && ::read(fd, extra.data(), extra.size()) > 0;
    ::close(fd);
    if (got != key_size || longer) {
        return std::unexpected(fmt::format("its key file {} is damaged", path.string()));
    }
    return std::optional<SecretBytes>(std::move(key));
}

// Creates "vault.key" with a new random key, or reads the one that exists already. The key appears whole or not
// at all: it is written to a temporary file and linked into place, which fails when the name exists.
std::expected<SecretBytes, std::string> create_key(const std::filesystem::path& path)
{
    if (auto ok = files::run_hook("create key", path); !ok) {
        return std::unexpected(ok.error());
    }
    if (auto ok = files::create_private_dirs(path.parent_path()); !ok) {
        return std::unexpected(ok.error());
    }
    SecretBytes key(key_size);
    randombytes_buf(key.data(), key.size());

    std::string temp = (path.parent_path() / ".vault.key.tmp-XXXXXX").string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected(fmt::format("could not create {}: {}", path.string(), reason(errno)));
    }
    const auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return std::unexpected(fmt::format("could not create {}: {}", path.string(), reason(error)));
    };
    if (::fchmod(fd, 0600) != 0) {
        return fail(errno);
    }
    std::size_t written = 0;
    while (written < key.size()) {
        const ssize_t n = ::write(fd, key.data() + written, key.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return fail(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        return fail(errno);
    }
    ::close(fd);
    const int linked = ::link(temp.c_str(), path.c_str());
    const int link_error = errno;
    ::unlink(temp.c_str());
    if (linked != 0) {
        if (link_error == EEXIST) {
            auto existing = load_key(path);
            if (!existing) {
                return std::unexpected(existing.error());
            }
            if (*existing) {
                return std::move(**existing);
            }
        }
        return std::unexpected(fmt::format("could not create {}: {}", path.string(), reason(link_error)));
    }
    if (const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return key;
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

std::expected<SecretVault, std::string> SecretVault::open_in(const std::filesystem::path& root)
{
    SecretVault vault;
    vault.dir_ = vault_dir_in(root);
    vault.file_ = vault.dir_ / "vault.enc";
    const std::string shown = vault.file_.string();
    if (!sodium_ready()) {
        return std::unexpected(fmt::format("credential vault {} cannot be opened: libsodium is unavailable", shown));
    }

    auto sealed = files::read(vault.file_);
    if (!sealed) {
        return std::unexpected(fmt::format("credential vault cannot be read: {}", sealed.error()));
    }
    auto key = load_key(vault.key_file());
    if (!key) {
        return std::unexpected(fmt::format("credential vault {} cannot be opened: {}", shown, key.error()));
    }
    if (*key) {
        vault.key_ = std::move(**key);
    }
    if (!*sealed) {
        return vault;  // no vault yet
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
    if (vault.key_.empty()) {
        return std::unexpected(fmt::format("credential vault {} cannot be opened: its key file {} is missing", shown,
                                           vault.key_file().string()));
    }
    const auto key_id = key_id_of(vault.key_);
    if (std::memcmp(bytes + magic.size() + 1, key_id.data(), key_id.size()) != 0) {
        return std::unexpected(fmt::format("credential vault {} was sealed with another key than {}", shown,
                                           vault.key_file().string()));
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

std::filesystem::path SecretVault::key_file() const { return dir_ / "vault.key"; }

std::expected<void, std::string> SecretVault::save()
{
    const std::string shown = file_.string();
    if (!sodium_ready()) {
        return std::unexpected(fmt::format("could not save the credential vault {}: libsodium is unavailable", shown));
    }
    if (key_.empty()) {
        auto key = create_key(key_file());
        if (!key) {
            return std::unexpected(fmt::format("could not save the credential vault {}: {}", shown, key.error()));
        }
        key_ = std::move(*key);
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
    return {};
}

}  // namespace account_registry
