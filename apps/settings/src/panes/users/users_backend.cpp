#include "panes/users/users_backend.hpp"

#include "vorn_log/log.hpp"

namespace settings::panes::users {

namespace accounts = system_ops::users;

std::vector<LocalUser> local_login_users()
{
    auto users = accounts::login_users();
    if (!users) {
        VORN_WARN("users", "no login accounts listed: {}", users.error());
        return {};
    }
    return std::move(*users);
}

Outcome SystemUserAdmin::create_user(std::string_view login, std::string_view full_name, std::string_view password)
{
    // The password is checked first, so that a password the system would refuse never leaves an account behind.
    if (auto checked = accounts::check_password(password); !checked) {
        return checked;
    }
    if (auto created = accounts::create_user(login, full_name, accounts::Role::Standard); !created) {
        return created;
    }
    if (auto set = accounts::set_password(login, password); !set) {
        return std::unexpected(fmt::format(
            "The account {} was made, but its password could not be set ({}); it cannot sign in until it has one.",
            login, set.error()));
    }
    return {};
}

Outcome SystemUserAdmin::delete_user(std::string_view login, bool remove_files)
{
    return accounts::delete_user(login, remove_files);
}

Outcome SystemUserAdmin::set_role(std::string_view login, bool admin)
{
    return accounts::set_role(login, admin);
}

Outcome SystemUserAdmin::set_automatic_login(std::string_view login, bool enabled)
{
    return accounts::set_automatic_login(login, enabled);
}

Outcome SigningIdentityBackend::set_active_identity(std::string_view id)
{
    return signing_ids::unix::set_active_identity(dir_, id);
}

Outcome SigningIdentityBackend::remove_identity(std::string_view id)
{
    return signing_ids::unix::remove_identity(dir_, id);
}

Outcome SigningIdentityBackend::secure_identity(std::string_view id)
{
    return signing_ids::unix::secure_identity(dir_, id);
}

UsersReading UsersReading::take(const UsersSources& sources)
{
    UsersReading reading{.users = sources.users(), .identity_dir = sources.identity_dir(), .identities = {}};
    if (reading.identity_dir) {
        reading.identities = sources.identities(*reading.identity_dir);
    }
    return reading;
}

}  // namespace settings::panes::users
