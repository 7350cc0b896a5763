#pragma once
// Every text, control id, document key and widget kind of the Users page, for the model and the view.

#include "panes/users/users_backend.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace settings::panes::users {

// ---- Document keys ----------------------------------------------------------------------------------------------------

inline constexpr std::string_view add_key = "settings.users.add";
inline constexpr std::string_view form_save_key = "settings.users.form.save";
inline constexpr std::string_view form_cancel_key = "settings.users.form.cancel";
// The add form's text fields (Text objects the inputs edit).
inline constexpr std::string_view form_full_name_key = "users.form.full_name";
inline constexpr std::string_view form_username_key = "users.form.username";

// "settings.users.role.{login}", "settings.users.autologin.{login}", "settings.users.remove.{login}",
// "settings.users.confirm_remove.{login}" (remove with files), "settings.users.confirm_remove_keep.{login}".
[[nodiscard]] std::string role_key(std::string_view login);
[[nodiscard]] std::string autologin_key(std::string_view login);
[[nodiscard]] std::string remove_key(std::string_view login);
[[nodiscard]] std::string confirm_remove_key(std::string_view login);
[[nodiscard]] std::string confirm_remove_keep_key(std::string_view login);
// "settings.users.identity.{activate,remove,confirm_remove,protect}.{id}".
[[nodiscard]] std::string identity_activate_key(std::string_view id);
[[nodiscard]] std::string identity_remove_key(std::string_view id);
[[nodiscard]] std::string identity_confirm_remove_key(std::string_view id);
[[nodiscard]] std::string identity_protect_key(std::string_view id);

// ---- Sentences ----------------------------------------------------------------------------------------------------------

inline constexpr std::string_view updated_message = "User account updated.";
inline constexpr std::string_view stale_message = "Ignored a stale user-management command.";
inline constexpr std::string_view unavailable_message = "User account is no longer available.";
inline constexpr std::string_view no_identity_store_message = "identity store is unavailable";

// ---- The view ---------------------------------------------------------------------------------------------------------

inline constexpr std::string_view problem_title = "Could not apply that change";

inline constexpr std::string_view form_title = "Add login account";
inline constexpr std::string_view full_name_label = "Full name";
inline constexpr std::string_view full_name_id = "users.form.full_name";
inline constexpr std::string_view full_name_placeholder = "Full name";
inline constexpr std::uint8_t full_name_kind = 1;
inline constexpr std::string_view username_label = "User name";
inline constexpr std::string_view username_id = "users.form.username";
inline constexpr std::string_view username_placeholder = "login-name";
inline constexpr std::uint8_t username_kind = 3;
inline constexpr std::string_view password_label = "Password";
inline constexpr std::string_view password_id = "users.form.password";
inline constexpr std::string_view password_placeholder = "At least 10 characters";
inline constexpr std::uint8_t password_kind = 9;
inline constexpr std::string_view form_caption =
    "The password is scrubbed from Settings state before it crosses the authenticated system boundary. New accounts "
    "start as Standard.";
inline constexpr std::string_view create_label = "Create";
inline constexpr std::string_view create_id = "settings.users.save";
inline constexpr std::string_view cancel_label = "Cancel";
inline constexpr std::string_view cancel_id = "settings.users.cancel";

inline constexpr std::string_view accounts_title = "Login accounts";
inline constexpr std::string_view add_user_label = "Add user";
inline constexpr std::string_view no_accounts_caption = "No regular login accounts found on this device.";

// A badge: its text and the toolkit's badge kind.
struct Badge {
    std::string_view text;
    std::uint8_t kind = 0;
    friend bool operator==(const Badge&, const Badge&) = default;
};

// "Administrator" (kind 0) or "Standard" (kind 2).
[[nodiscard]] Badge role_badge(const LocalUser& user);
// "{login} · UID {uid}", with " · signed in" for the signed-in user.
[[nodiscard]] std::string user_detail_line(const LocalUser& user);
// "Make standard" (administrators) or "Make administrator".
[[nodiscard]] std::string_view role_button_label(const LocalUser& user);
// "Disable automatic login" or "Enable automatic login".
[[nodiscard]] std::string_view autologin_button_label(const LocalUser& user);
inline constexpr std::string_view remove_label = "Remove…";
inline constexpr std::string_view confirm_remove_keep_label = "Remove, keep files";
inline constexpr std::string_view confirm_remove_label = "Remove account and files";

inline constexpr std::string_view identities_title = "Your Vorn identities";
inline constexpr std::string_view no_identities_caption =
    "No signing identity is available. Identity setup runs in your personal session; it never runs as root.";
inline constexpr std::string_view protection_title = "Signing protection";
inline constexpr std::string_view protection_caption =
    "Secret Service is preferred. If the desktop keyring is locked, signing pauses and asks the session to unlock it; "
    "Vorn never silently copies that key into an app.";
// Shown when at least one identity uses the private file.
inline constexpr std::string_view private_file_caption =
    "This session is using the compatible private-file fallback for at least one identity. It is isolated from apps by "
    "the signing broker, but is not encrypted at rest. Install and unlock a freedesktop Secret Service to protect "
    "future identities in the desktop keyring.";
// Shown when at least one identity is hardware-backed.
inline constexpr std::string_view hardware_caption =
    "Hardware-backed means the installed provider actually sealed this identity. The presence of a TPM alone is never "
    "treated as proof.";
inline constexpr std::string_view boundary_title = "Identity boundary";
inline constexpr std::string_view boundary_caption =
    "A login account may have several identities. The active identity is used only by newly launched apps; running "
    "apps keep their existing author. Workspaces may restrict which identity can enter, but cannot read another "
    "identity's key. Apps receive a short-lived signing connection for the selected identity—never the private key or "
    "identity directory.";

// The label of a protection.
[[nodiscard]] std::string_view protection_label(Protection protection);
// The display name, or the id when it is empty.
[[nodiscard]] std::string_view identity_title(const IdentitySummary& identity);
// "Active" (kind 0) or "Available" (kind 2).
[[nodiscard]] Badge identity_badge(const IdentitySummary& identity);
// "{id} · key {first four bytes in lower-case hex}… · {threshold}-of-{shares} · {protection label}".
[[nodiscard]] std::string identity_detail_line(const IdentitySummary& identity);
inline constexpr std::string_view use_label = "Use";
inline constexpr std::string_view identity_remove_label = "Remove…";
inline constexpr std::string_view identity_confirm_remove_label = "Remove identity";
inline constexpr std::string_view protect_label = "Protect now";

}  // namespace settings::panes::users
