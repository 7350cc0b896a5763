#pragma once
// What the Users page reads and changes: the machine's login accounts (system_ops::users) and the signed-in user's
// signing identities (signing_ids), each behind an interface so that the page's tests can put fakes in their place
// (panes/users/testing).
//
// Every call may block (a shadow tool waiting for polkit's authentication dialog, the Secret Service): the page
// makes them on its worker only. Implementations must be safe to call from any thread.

#include "signing_ids/signing_ids.hpp"
#include "system_ops/users.hpp"

#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::users {

using signing_ids::IdentitySummary;
using signing_ids::Protection;
using system_ops::users::LocalUser;

using Outcome = std::expected<void, std::string>;

// The machine's regular login accounts with their role and automatic login (system_ops::users::login_users); none
// when the account files cannot be read. Also what the Users section's resource lists.
[[nodiscard]] std::vector<LocalUser> local_login_users();

// Changes to login accounts.
class UserAdminBackend {
public:
    virtual ~UserAdminBackend() = default;
    // A standard (not administrator) account with the full name, then its password; the first failure is the
    // answer.
    [[nodiscard]] virtual Outcome create_user(std::string_view login, std::string_view full_name,
                                              std::string_view password) = 0;
    [[nodiscard]] virtual Outcome delete_user(std::string_view login, bool remove_files) = 0;
    [[nodiscard]] virtual Outcome set_role(std::string_view login, bool admin) = 0;
    [[nodiscard]] virtual Outcome set_automatic_login(std::string_view login, bool enabled) = 0;
};

// Through the current system_ops::users service. Holds no state.
class SystemUserAdmin final : public UserAdminBackend {
public:
    Outcome create_user(std::string_view login, std::string_view full_name, std::string_view password) override;
    Outcome delete_user(std::string_view login, bool remove_files) override;
    Outcome set_role(std::string_view login, bool admin) override;
    Outcome set_automatic_login(std::string_view login, bool enabled) override;
};

// Changes to the identities of one identity directory.
class IdentityBackend {
public:
    virtual ~IdentityBackend() = default;
    [[nodiscard]] virtual Outcome set_active_identity(std::string_view id) = 0;
    [[nodiscard]] virtual Outcome remove_identity(std::string_view id) = 0;
    [[nodiscard]] virtual Outcome secure_identity(std::string_view id) = 0;
};

// The signing_ids::unix operations of the same names, on the directory it keeps.
class SigningIdentityBackend final : public IdentityBackend {
public:
    explicit SigningIdentityBackend(std::filesystem::path dir) : dir_(std::move(dir)) {}
    Outcome set_active_identity(std::string_view id) override;
    Outcome remove_identity(std::string_view id) override;
    Outcome secure_identity(std::string_view id) override;

private:
    std::filesystem::path dir_;
};

// Where the page finds what it lists.
struct UsersSources {
    std::function<std::vector<LocalUser>()> users = local_login_users;
    // The identity directory, or none when this user has none.
    std::function<std::optional<std::filesystem::path>()> identity_dir = [] {
        auto dir = signing_ids::unix::identity_dir_from_env();
        return dir ? std::optional(std::move(*dir)) : std::nullopt;
    };
    // The directory's identities; none listed when it cannot be read.
    std::function<std::vector<IdentitySummary>(const std::filesystem::path&)> identities =
        [](const std::filesystem::path& dir) {
            return signing_ids::unix::list_identities(dir).value_or(std::vector<IdentitySummary>{});
        };
    std::function<std::shared_ptr<IdentityBackend>(const std::filesystem::path&)> identity_backend =
        [](const std::filesystem::path& dir) { return std::make_shared<SigningIdentityBackend>(dir); };
};

// Everything the page shows, read at one moment.
struct UsersReading {
    std::vector<LocalUser> users;
    std::optional<std::filesystem::path> identity_dir;
    std::vector<IdentitySummary> identities;  // of identity_dir; empty without one

    [[nodiscard]] static UsersReading take(const UsersSources& sources);
};

}  // namespace settings::panes::users
