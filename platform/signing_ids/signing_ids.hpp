#pragma once
// Per-user signing identities: the Ed25519 keys with which apps sign on the user's behalf (through the signing
// broker, which hands an app a signing connection, never the key), and with which the user's devices are certified.
//
// An identity directory belongs to one login account and lives in its data folder
// ($XDG_DATA_HOME/vorn/identities, else ~/.local/share/vorn/identities). Identity setup runs in the user's own
// session, never as root. Layout:
//
//   <dir>/active                    the active identity's id and a line feed (absent: none is active)
//   <dir>/<id>/identity.json        {"format":1,"id":...,"display_name":...,"public_key":"<64 hex>",
//                                    "recovery":{"threshold":k,"shares":n},"custody":...}
//   <dir>/<id>/private.key          custody "private-file": the 32-byte Ed25519 seed, mode 0600, owner only
//   <dir>/<id>/signing.key          an identity from before custody existed: the 64-byte secret key (seed and
//                                   public key) as one file; it needs migration
//   <dir>/fleets/<id>.json          the devices the identity certified (read and written by Devices & Sync)
//
// Ids are 1 to 64 lower-case ASCII letters, digits and "-", so that an id is safe as a file name and in a page
// document's keys. "recovery" says how many of how many recovery shares restore the key (1-of-1 without a recovery
// set-up). "custody" says where the private key is kept, which gives the identity's protection:
//
//   "secret-service"  the desktop's Secret Service (see secret_service.hpp): SecretService while the service can be
//                     reached and is unlocked, ProviderUnavailable otherwise
//   "private-file"    private.key: PrivateFile while the file is the owner's alone; a file others may read (or a
//                     leftover signing.key) is MigrationRequired
//   "hardware"        sealed by a hardware provider: this build has none to unseal it, so ProviderUnavailable
//   none              the old layout (signing.key): MigrationRequired
//
// secure_identity() moves a key that needs migration into the Secret Service when it can be reached, and into a
// fresh owner-only private.key otherwise; the old file is overwritten with zeros before it is removed. Files are
// written whole and atomically (safe_write). Private keys live in locked memory (sodium_malloc) and are wiped when
// the last SigningIdentity holding them goes.
//
// The Secret Service is reached through the current SecretServiceKeys (secret_service.hpp), which tests replace.
//
//   auto dir = signing_ids::unix::identity_dir_from_env();
//   auto listed = signing_ids::unix::list_identities(*dir);
//   auto path = signing_ids::unix::resolve_active_identity(*dir);
//   auto identity = signing_ids::unix::load_from_path(*path);
//   auto signature = identity->sign(digest);
//
// Every function may block (file system, the Secret Service): call them off the UI thread.

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace signing_ids {

using PublicKey = std::array<std::uint8_t, 32>;
using Signature = std::array<std::uint8_t, 64>;

// Where an identity's private key is kept, as the Users page shows it. The values are the page's codes.
enum class Protection : std::uint8_t {
    SecretService = 0,
    PrivateFile = 1,
    HardwareBacked = 2,
    MigrationRequired = 3,
    ProviderUnavailable = 4,
};

// One identity as listed.
struct IdentitySummary {
    std::string id;
    std::string display_name;  // may be empty
    PublicKey public_key{};
    std::uint16_t recovery_threshold = 1;
    std::uint16_t recovery_shares = 1;
    bool active = false;
    Protection protection = Protection::ProviderUnavailable;

    friend bool operator==(const IdentitySummary&, const IdentitySummary&) = default;
};

class SecretKey;

// An identity with its public key and, when loaded with it, its private key. Copies share the private key, which
// is wiped when the last copy goes.
class SigningIdentity {
public:
    std::string id;
    std::string name;  // the display name; may be empty
    PublicKey public_key{};

    [[nodiscard]] bool can_sign() const { return secret_ != nullptr; }
    // The Ed25519 signature of a 32-byte digest.
    [[nodiscard]] std::expected<Signature, std::string> sign(std::span<const std::uint8_t, 32> digest) const;

    // An identity made from a 32-byte seed (the public key is derived from it); the seed's bytes are not kept.
    [[nodiscard]] static std::expected<SigningIdentity, std::string> from_seed(std::span<const std::uint8_t, 32> seed);

private:
    std::shared_ptr<const SecretKey> secret_;
};

// Whether the text can be an identity id.
[[nodiscard]] bool is_identity_id(std::string_view id);

namespace unix {

// The identity directory of this user, from the environment (it need not exist yet); an error when neither
// XDG_DATA_HOME nor HOME is an absolute path.
[[nodiscard]] std::expected<std::filesystem::path, std::string> identity_dir_from_env();

// The identities in the directory, ordered by id. A missing directory has none; an identity folder whose
// identity.json cannot be read or decoded is left out (and logged); an unreadable directory is an error.
[[nodiscard]] std::expected<std::vector<IdentitySummary>, std::string> list_identities(
    const std::filesystem::path& dir);

// Makes the listed identity the active one.
[[nodiscard]] std::expected<void, std::string> set_active_identity(const std::filesystem::path& dir,
                                                                   std::string_view id);
// Removes an identity that is not the active one, with its key wherever it is kept.
[[nodiscard]] std::expected<void, std::string> remove_identity(const std::filesystem::path& dir, std::string_view id);
// Moves the key of an identity that needs migration into the current protection (nothing to do for a protected
// one; an error when its provider cannot be reached).
[[nodiscard]] std::expected<void, std::string> secure_identity(const std::filesystem::path& dir, std::string_view id);

// The folder of the active identity, or none (no active identity, or the active file names no identity).
[[nodiscard]] std::optional<std::filesystem::path> resolve_active_identity(const std::filesystem::path& dir);
// The identity in an identity folder, with its private key.
[[nodiscard]] std::expected<SigningIdentity, std::string> load_from_path(const std::filesystem::path& path);

struct NewIdentity {
    std::string display_name;
    std::uint16_t recovery_threshold = 1;
    std::uint16_t recovery_shares = 1;
    // Make it the active identity.
    bool activate = false;
};
// A new identity with a fresh key, kept in the Secret Service when it can be reached and in an owner-only
// private.key otherwise; answers its id.
[[nodiscard]] std::expected<std::string, std::string> create_identity(const std::filesystem::path& dir,
                                                                      const NewIdentity& identity);

// The active identity of this user (its name and public key, without the private key): what the About page
// shows. An error when there is none.
[[nodiscard]] std::expected<SigningIdentity, std::string> load();

}  // namespace unix
}  // namespace signing_ids
