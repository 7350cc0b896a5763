#include "panes/users/users_text.hpp"

#include <fmt/format.h>

namespace settings::panes::users {

std::string role_key(std::string_view login)
{
    return fmt::format("settings.users.role.{}", login);
}
std::string autologin_key(std::string_view login)
{
    return fmt::format("settings.users.autologin.{}", login);
}
std::string remove_key(std::string_view login)
{
    return fmt::format("settings.users.remove.{}", login);
}
std::string confirm_remove_key(std::string_view login)
{
    return fmt::format("settings.users.confirm_remove.{}", login);
}
std::string confirm_remove_keep_key(std::string_view login)
{
    return fmt::format("settings.users.confirm_remove_keep.{}", login);
}
std::string identity_activate_key(std::string_view id)
{
    return fmt::format("settings.users.identity.activate.{}", id);
}
std::string identity_remove_key(std::string_view id)
{
    return fmt::format("settings.users.identity.remove.{}", id);
}
std::string identity_confirm_remove_key(std::string_view id)
{
    return fmt::format("settings.users.identity.confirm_remove.{}", id);
}
std::string identity_protect_key(std::string_view id)
{
    return fmt::format("settings.users.identity.protect.{}", id);
}

Badge role_badge(const LocalUser& user)
{
    return user.admin ? Badge{"Administrator", 0} : Badge{"Standard", 2};
}

std::string user_detail_line(const LocalUser& user)
{
    return fmt::format("{} · UID {}{}", user.login, user.uid, user.signed_in ? " · signed in" : "");
}

std::string_view role_button_label(const LocalUser& user)
{
    return user.admin ? "Make standard" : "Make administrator";
}

std::string_view autologin_button_label(const LocalUser& user)
{
    return user.automatic_login ? "Disable automatic login" : "Enable automatic login";
}

std::string_view protection_label(Protection protection)
{
    switch (protection) {
    case Protection::SecretService:
        return "Secret Service + app-scoped signing broker";
    case Protection::PrivateFile:
        return "Private session file + app-scoped signing broker";
    case Protection::HardwareBacked:
        return "Hardware-backed + app-scoped signing broker";
    case Protection::MigrationRequired:
        return "Migration required";
    case Protection::ProviderUnavailable:
        break;
    }
    return "Protection provider unavailable";
}

std::string_view identity_title(const IdentitySummary& identity)
{
    return identity.display_name.empty() ? identity.id : identity.display_name;
}

Badge identity_badge(const IdentitySummary& identity)
{
    return identity.active ? Badge{"Active", 0} : Badge{"Available", 2};
}

std::string identity_detail_line(const IdentitySummary& identity)
{
    const auto& key = identity.public_key;
    return fmt::format("{} · key {:02x}{:02x}{:02x}{:02x}… · {}-of-{} · {}", identity.id, key[0], key[1], key[2], key[3],
                       identity.recovery_threshold, identity.recovery_shares, protection_label(identity.protection));
}

}  // namespace settings::panes::users
