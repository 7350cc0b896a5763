#include "signing_ids/signing_ids.hpp"

#include "signing_ids/secret_service.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "safe_write/safe_write.hpp"
#include "user_dirs/user_dirs.hpp"
#include "vorn_log/log.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace signing_ids {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view log_tag = "signing_ids";

constexpr std::string_view metadata_file = "identity.json";
constexpr std::string_view private_key_file = "private.key";
constexpr std::string_view legacy_key_file = "signing.key";
constexpr std::string_view active_file = "active";

constexpr std::string_view custody_secret_service = "secret-service";
constexpr std::string_view custody_private_file = "private-file";
constexpr std::string_view custody_hardware = "hardware";

constexpr std::size_t max_display_name_bytes = 256;

// identity.json as stored.
struct Metadata {
    std::string id;
    std::string display_name;
    PublicKey public_key{};
    std::uint16_t threshold = 1;
    std::uint16_t shares = 1;
    std::string custody;  // empty: the old layout
};

std::string hex_of(std::span<const std::uint8_t> bytes)
{
    std::string hex(2 * bytes.size() + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
    hex.pop_back();
    return hex;
}

std::optional<PublicKey> public_key_of_hex(std::string_view hex)
{
    PublicKey key{};
    std::size_t length = 0;
    if (hex.size() != 64 || sodium_hex2bin(key.data(), key.size(), hex.data(), hex.size(), nullptr, &length, nullptr) != 0 ||
        length != key.size()) {
        return std::nullopt;
    }
    return key;
}

std::expected<std::string, std::string> read_text(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::unexpected(fmt::format("could not read {}: {}", file.string(), std::strerror(errno)));
    }
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::expected<std::uint16_t, std::string> count_of(const nlohmann::json& value, std::string_view name)
{
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() == 0 || value.get<std::uint64_t>() > 0xFFFF) {
        return std::unexpected(fmt::format("\"{}\" is not a count from 1 to 65535", name));
    }
    return static_cast<std::uint16_t>(value.get<std::uint64_t>());
}

std::expected<Metadata, std::string> decode_metadata(std::string_view text, std::string_view folder_id)
{
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::unexpected("identity.json is not a JSON object");
    }
    if (json.value("format", nlohmann::json()) != 1) {
        return std::unexpected("identity.json has an unknown format");
    }
    Metadata meta;
    const auto text_member = [&](std::string_view name) -> std::optional<std::string> {
        const auto it = json.find(name);
        if (it == json.end() || !it->is_string()) {
            return std::nullopt;
        }
        return it->get<std::string>();
    };
    const auto id = text_member("id");
    if (!id || *id != folder_id) {
        return std::unexpected("identity.json names another identity than its folder");
    }
    meta.id = *id;
    meta.display_name = cmd_runner::clean_text(text_member("display_name").value_or(""),
                                               {.max_bytes = max_display_name_bytes, .trim = true});
    const auto key = public_key_of_hex(text_member("public_key").value_or(""));
    if (!key) {
        return std::unexpected("identity.json has no public key of 64 hexadecimal digits");
    }
    meta.public_key = *key;
    if (const auto recovery = json.find("recovery"); recovery != json.end()) {
        if (!recovery->is_object() || !recovery->contains("threshold") || !recovery->contains("shares")) {
            return std::unexpected("identity.json has a recovery without threshold and shares");
        }
        const auto threshold = count_of((*recovery)["threshold"], "threshold");
        const auto shares = count_of((*recovery)["shares"], "shares");
        if (!threshold || !shares) {
            return std::unexpected(!threshold ? threshold.error() : shares.error());
        }
        if (*threshold > *shares) {
            return std::unexpected("identity.json needs more recovery shares than it has");
        }
        meta.threshold = *threshold;
        meta.shares = *shares;
    }
    if (json.contains("custody")) {
        const auto custody = text_member("custody");
        if (!custody || (*custody != custody_secret_service && *custody != custody_private_file &&
                         *custody != custody_hardware)) {
            return std::unexpected("identity.json names an unknown key custody");
        }
        meta.custody = *custody;
    }
    return meta;
}

std::string encode_metadata(const Metadata& meta)
{
    nlohmann::ordered_json json{{"format", 1},
                                {"id", meta.id},
                                {"display_name", meta.display_name},
                                {"public_key", hex_of(meta.public_key)},
                                {"recovery", {{"threshold", meta.threshold}, {"shares", meta.shares}}}};
    if (!meta.custody.empty()) {
        json["custody"] = meta.custody;
    }
    return json.dump(2) + "\n";
}

std::expected<Metadata, std::string> read_metadata(const fs::path& folder)
{
    const auto text = read_text(folder / metadata_file);
    if (!text) {
        return std::unexpected(text.error());
    }
    return decode_metadata(*text, folder.filename().string());
}

std::expected<void, std::string> write_metadata(const fs::path& folder, const Metadata& meta)
{
    return safe_write::write_file(folder / metadata_file, encode_metadata(meta), {.private_file = true});
}

std::optional<std::string> active_id(const fs::path& dir)
{
    const auto text = read_text(dir / active_file);
    if (!text) {
        return std::nullopt;
    }
    std::string id = *text;
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r' || id.back() == ' ')) {
        id.pop_back();
    }
    if (!is_identity_id(id)) {
        return std::nullopt;
    }
    return id;
}

enum class KeyFile : std::uint8_t { Missing, Private, Exposed };

// Whether a key file is this user's alone.
KeyFile key_file_state(const fs::path& file)
{
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) {
        return KeyFile::Missing;
    }
    const bool private_file =
        S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
    return private_file ? KeyFile::Private : KeyFile::Exposed;
}

// The protection of an identity; asks the Secret Service (once, through `service_up`) only when it matters.
Protection protection_of(const fs::path& folder, const Metadata& meta, const std::function<bool()>& service_up)
{
    const bool legacy_left = key_file_state(folder / legacy_key_file) != KeyFile::Missing;
    if (meta.custody == custody_secret_service) {
        if (legacy_left) {
            return Protection::MigrationRequired;
        }
        return service_up() ? Protection::SecretService : Protection::ProviderUnavailable;
    }
    if (meta.custody == custody_private_file) {
        switch (key_file_state(folder / private_key_file)) {
        case KeyFile::Private:
            return legacy_left ? Protection::MigrationRequired : Protection::PrivateFile;
        case KeyFile::Exposed:
            return Protection::MigrationRequired;
        case KeyFile::Missing:
            return Protection::ProviderUnavailable;
        }
    }
    if (meta.custody == custody_hardware) {
        return Protection::ProviderUnavailable;  // no hardware provider in this build can unseal it
    }
    return legacy_left ? Protection::MigrationRequired : Protection::ProviderUnavailable;
}

// Reads a key file of exactly `expected_size` bytes into locked memory and makes the key of its first 32 bytes.
std::expected<std::shared_ptr<const SecretKey>, std::string> read_key_file(const fs::path& file, std::size_t expected_size)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return std::unexpected(fmt::format("could not read {}: {}", file.string(), std::strerror(errno)));
    }
    auto* block = static_cast<std::uint8_t*>(sodium_malloc(SecretKey::size + 1));
    if (block == nullptr) {
        ::close(fd);
        return std::unexpected("no locked memory is left for a signing key");
    }
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, block + total, SecretKey::size + 1 - total);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        total += static_cast<std::size_t>(n);
        if (total == SecretKey::size + 1) {
            break;
        }
    }
    ::close(fd);
    std::expected<std::shared_ptr<const SecretKey>, std::string> key =
        total == expected_size ? SecretKey::from_seed(std::span<const std::uint8_t, SecretKey::seed_size>(block, SecretKey::seed_size))
                               : std::unexpected(fmt::format("{} is not a signing key file", file.string()));
    if (key && expected_size == SecretKey::size &&
        sodium_memcmp(block + SecretKey::seed_size, (*key)->public_key().data(), 32) != 0) {
        key = std::unexpected(fmt::format("{} holds a damaged signing key", file.string()));
    }
    sodium_free(block);
    return key;
}

// Overwrites a key file with zeros, flushes it, then removes it.
std::expected<void, std::string> shred(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
            const std::array<std::uint8_t, 256> zeros{};
            for (off_t left = info.st_size; left > 0;) {
                const ssize_t n = ::write(fd, zeros.data(), static_cast<std::size_t>(std::min<off_t>(left, zeros.size())));
                if (n <= 0) {
                    break;
                }
                left -= n;
            }
            ::fsync(fd);
        }
        ::close(fd);
    }
    return safe_write::remove_file(file);
}

// The key of an identity, from wherever it is kept.
std::expected<std::shared_ptr<const SecretKey>, std::string> read_key(const fs::path& folder, const Metadata& meta)
{
    if (meta.custody == custody_secret_service) {
        return secret_service()->lookup(meta.id);
    }
    if (meta.custody == custody_private_file) {
        return read_key_file(folder / private_key_file, SecretKey::seed_size);
    }
    if (meta.custody == custody_hardware) {
        return std::unexpected("the hardware key provider of this identity is not available");
    }
    return read_key_file(folder / legacy_key_file, SecretKey::size);
}

std::expected<void, std::string> check_key(const SecretKey& key, const Metadata& meta)
{
    if (sodium_memcmp(key.public_key().data(), meta.public_key.data(), meta.public_key.size()) != 0) {
        return std::unexpected("the identity's private key does not match its public key");
    }
    return {};
}

// Keeps the key where new keys go: the Secret Service when it can be reached, an owner-only private.key otherwise.
// Answers the custody used.
std::expected<std::string_view, std::string> keep_key(const fs::path& folder, const Metadata& meta, const SecretKey& key)
{
    auto& service = *secret_service();
    if (service.available()) {
        const std::string label = meta.display_name.empty() ? fmt::format("Vorn identity {}", meta.id)
                                                            : fmt::format("Vorn identity {}", meta.display_name);
        if (auto stored = service.store(meta.id, label, key); !stored) {
            return std::unexpected(stored.error());
        }
        // Read back before anything else is removed: a key that cannot be had back must not replace its file.
        const auto kept = service.lookup(meta.id);
        if (!kept || sodium_memcmp((*kept)->seed().data(), key.seed().data(), SecretKey::seed_size) != 0) {
            return std::unexpected("the Secret Service did not keep the key");
        }
        return custody_secret_service;
    }
    const std::string_view seed(reinterpret_cast<const char*>(key.seed().data()), SecretKey::seed_size);
    if (auto written = safe_write::write_file(folder / private_key_file, seed, {.private_file = true}); !written) {
        return std::unexpected(written.error());
    }
    return custody_private_file;
}

std::expected<fs::path, std::string> identity_folder(const fs::path& dir, std::string_view id)
{
    if (!is_identity_id(id)) {
        return std::unexpected(fmt::format("there is no identity {}", id));
    }
    const fs::path folder = dir / std::string(id);
    std::error_code ec;
    if (!fs::is_regular_file(folder / metadata_file, ec)) {
        return std::unexpected(fmt::format("there is no identity {}", id));
    }
    return folder;
}

std::expected<void, std::string> make_private_dir(const fs::path& dir)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        return std::unexpected(fmt::format("could not make {}: {}", dir.string(), ec.message()));
    }
    ::chmod(dir.c_str(), 0700);
    return {};
}

}  // namespace

// ---- SigningIdentity -------------------------------------------------------------------------------------------------

std::expected<Signature, std::string> SigningIdentity::sign(std::span<const std::uint8_t, 32> digest) const
{
    if (!secret_) {
        return std::unexpected("this identity was loaded without its private key");
    }
    Signature signature{};
    if (crypto_sign_detached(signature.data(), nullptr, digest.data(), digest.size(), secret_->bytes().data()) != 0) {
        return std::unexpected("the digest could not be signed");
    }
    return signature;
}

std::expected<SigningIdentity, std::string> SigningIdentity::from_seed(std::span<const std::uint8_t, 32> seed)
{
    auto key = SecretKey::from_seed(seed);
    if (!key) {
        return std::unexpected(key.error());
    }
    SigningIdentity identity;
    identity.public_key = (*key)->public_key();
    identity.secret_ = std::move(*key);
    return identity;
}

bool is_identity_id(std::string_view id)
{
    return !id.empty() && id.size() <= 64 && id != "fleets" && id.front() != '-' &&
           std::ranges::all_of(id, [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; });
}

namespace unix {

std::expected<fs::path, std::string> identity_dir_from_env()
{
    const auto data = user_dirs::data_dir();
    if (!data) {
        return std::unexpected("no data folder is known for this user (neither XDG_DATA_HOME nor HOME is set)");
    }
    return *data / "vorn" / "identities";
}

std::expected<std::vector<IdentitySummary>, std::string> list_identities(const fs::path& dir)
{
    std::error_code ec;
    if (!fs::exists(dir, ec)) {
        return std::vector<IdentitySummary>{};
    }
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (entry.is_directory(ec) && is_identity_id(entry.path().filename().string())) {
            folders.push_back(entry.path());
        }
    }
    if (ec) {
        return std::unexpected(fmt::format("could not read {}: {}", dir.string(), ec.message()));
    }
    std::ranges::sort(folders);
    const auto active = active_id(dir);
    std::optional<bool> service_up;
    const std::function<bool()> ask_service = [&] {
        if (!service_up) {
            service_up = secret_service()->available();
        }
        return *service_up;
    };
    std::vector<IdentitySummary> identities;
    for (const auto& folder : folders) {
        auto meta = read_metadata(folder);
        if (!meta) {
            VORN_WARN(log_tag, "identity {} left out: {}", folder.filename().string(), meta.error());
            continue;
        }
        identities.push_back({.id = meta->id,
                              .display_name = meta->display_name,
                              .public_key = meta->public_key,
                              .recovery_threshold = meta->threshold,
                              .recovery_shares = meta->shares,
                              .active = active == meta->id,
                              .protection = protection_of(folder, *meta, ask_service)});
    }
    return identities;
}

std::expected<void, std::string> set_active_identity(const fs::path& dir, std::string_view id)
{
    const auto folder = identity_folder(dir, id);
    if (!folder) {
        return std::unexpected(folder.error());
    }
    if (auto meta = read_metadata(*folder); !meta) {
        return std::unexpected(fmt::format("identity {} cannot be used: {}", id, meta.error()));
    }
    return safe_write::write_file(dir / active_file, std::string(id) + "\n", {.private_file = true});
}

std::expected<void, std::string> remove_identity(const fs::path& dir, std::string_view id)
{
    const auto folder = identity_folder(dir, id);
    if (!folder) {
        return std::unexpected(folder.error());
    }
    if (active_id(dir) == id) {
        return std::unexpected("the active identity cannot be removed; make another identity active first");
    }
    const auto meta = read_metadata(*folder);
    if (meta && meta->custody == custody_secret_service) {
        if (auto cleared = secret_service()->clear(id); !cleared) {
            return std::unexpected(cleared.error());
        }
    }
    for (const auto file : {private_key_file, legacy_key_file}) {
        if (key_file_state(*folder / file) != KeyFile::Missing) {
            if (auto shredded = shred(*folder / file); !shredded) {
                return std::unexpected(shredded.error());
            }
        }
    }
    std::error_code ec;
    fs::remove_all(*folder, ec);
    if (ec) {
        return std::unexpected(fmt::format("could not remove {}: {}", folder->string(), ec.message()));
    }
    return {};
}

std::expected<void, std::string> secure_identity(const fs::path& dir, std::string_view id)
{
    const auto folder = identity_folder(dir, id);
    if (!folder) {
        return std::unexpected(folder.error());
    }
    auto meta = read_metadata(*folder);
    if (!meta) {
        return std::unexpected(fmt::format("identity {} cannot be read: {}", id, meta.error()));
    }
    const auto protection = protection_of(*folder, *meta, [] { return secret_service()->available(); });
    if (protection == Protection::ProviderUnavailable) {
        return std::unexpected("the protection provider of this identity is unavailable");
    }
    if (protection != Protection::MigrationRequired) {
        return {};
    }
    // The key as it is kept now: the custody's own place, or the old file when that is all there is.
    auto key = meta->custody.empty() || key_file_state(*folder / legacy_key_file) == KeyFile::Missing
                   ? read_key(*folder, *meta)
                   : read_key_file(*folder / legacy_key_file, SecretKey::size);
    if (!key) {
        return std::unexpected(key.error());
    }
    if (auto matches = check_key(**key, *meta); !matches) {
        return matches;
    }
    const auto custody = keep_key(*folder, *meta, **key);
    if (!custody) {
        return std::unexpected(custody.error());
    }
    meta->custody = std::string(*custody);
    if (auto written = write_metadata(*folder, *meta); !written) {
        return written;
    }
    // Only now that the key is kept in its new place do the old copies go.
    std::vector<std::string_view> leftovers{legacy_key_file};
    if (*custody == custody_secret_service) {
        leftovers.push_back(private_key_file);
    }
    for (const auto file : leftovers) {
        if (key_file_state(*folder / file) != KeyFile::Missing) {
            if (auto shredded = shred(*folder / file); !shredded) {
                return shredded;
            }
        }
    }
    return {};
}

std::optional<fs::path> resolve_active_identity(const fs::path& dir)
{
    const auto id = active_id(dir);
    if (!id) {
        return std::nullopt;
    }
    auto folder = identity_folder(dir, *id);
    if (!folder) {
        return std::nullopt;
    }
    return std::move(*folder);
}

std::expected<SigningIdentity, std::string> load_from_path(const fs::path& path)
{
    const auto meta = read_metadata(path);
    if (!meta) {
        return std::unexpected(meta.error());
    }
    auto key = read_key(path, *meta);
    if (!key) {
        return std::unexpected(key.error());
    }
    if (auto matches = check_key(**key, *meta); !matches) {
        return std::unexpected(matches.error());
    }
    auto identity = SigningIdentity::from_seed((*key)->seed());
    if (!identity) {
        return identity;
    }
    identity->id = meta->id;
    identity->name = meta->display_name;
    return identity;
}

std::expected<std::string, std::string> create_identity(const fs::path& dir, const NewIdentity& identity)
{
    if (identity.recovery_threshold == 0 || identity.recovery_threshold > identity.recovery_shares) {
        return std::unexpected("a recovery needs at least one share and no more than it has");
    }
    if (auto made = make_private_dir(dir); !made) {
        return std::unexpected(made.error());
    }
    const auto key = SecretKey::generate();
    if (!key) {
        return std::unexpected(key.error());
    }
    Metadata meta;
    meta.public_key = (*key)->public_key();
    std::array<std::uint8_t, 8> digest{};
    crypto_generichash(digest.data(), digest.size(), meta.public_key.data(), meta.public_key.size(), nullptr, 0);
    meta.id = hex_of(digest);
    meta.display_name = cmd_runner::clean_text(identity.display_name, {.max_bytes = max_display_name_bytes, .trim = true});
    meta.threshold = identity.recovery_threshold;
    meta.shares = identity.recovery_shares;
    const fs::path folder = dir / meta.id;
    std::error_code ec;
    if (fs::exists(folder, ec)) {
        return std::unexpected("an identity with this key exists already");
    }
    if (auto made = make_private_dir(folder); !made) {
        return std::unexpected(made.error());
    }
    const auto custody = keep_key(folder, meta, **key);
    if (!custody) {
        fs::remove_all(folder, ec);
        return std::unexpected(custody.error());
    }
    meta.custody = std::string(*custody);
    if (auto written = write_metadata(folder, meta); !written) {
        return std::unexpected(written.error());
    }
    if (identity.activate) {
        if (auto activated = set_active_identity(dir, meta.id); !activated) {
            return std::unexpected(activated.error());
        }
    }
    return meta.id;
}

std::expected<SigningIdentity, std::string> load()
{
    const auto dir = identity_dir_from_env();
    if (!dir) {
        return std::unexpected(dir.error());
    }
    const auto folder = resolve_active_identity(*dir);
    if (!folder) {
        return std::unexpected("no signing identity is set up for this user");
    }
    const auto meta = read_metadata(*folder);
    if (!meta) {
        return std::unexpected(meta.error());
    }
    SigningIdentity identity;
    identity.id = meta->id;
    identity.name = meta->display_name;
    identity.public_key = meta->public_key;
    return identity;
}

}  // namespace unix
}  // namespace signing_ids
