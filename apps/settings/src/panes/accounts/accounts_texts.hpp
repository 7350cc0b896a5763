#pragma once
// The texts of the External Accounts page: the row of each listed account (name, summary line, badge and detail
// line), the page's fixed sentences, titles, labels and placeholders, and the page-document control ids its
// buttons set. Pure functions, without widgets: the view builds its cards from them.

#include "accounts/lists.hpp"
#include "accounts/records.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::accounts {

using settings::accounts::AccountKind;

// ---- Rows ---------------------------------------------------------------------------------------------------------

// One listed account as its row shows it.
struct AccountSummary {
    std::string id;
    AccountKind kind = AccountKind::Mail;
    std::string name;     // 13 points
    std::string summary;  // 11 points
    bool enabled = true;  // always true for mail accounts
    std::uint8_t tint = 0;

    bool operator==(const AccountSummary&) const = default;
};

// The name of a mail account: its display name, else its email address, else "New account".
[[nodiscard]] std::string account_display_name(const settings::accounts::AccountConfig& config);

// Mail "{email} · {imap host}:{imap port}"; CalDAV "CalDAV · {server}"; WebDAV "WebDAV · {server}"; Nextcloud
// "{server} · {services}" with "Mail", "Calendar", "Files" joined by ", " (nothing after " · " when none is on).
// The server is the address without its scheme and path (strip_url_scheme).
[[nodiscard]] AccountSummary mail_summary(const settings::accounts::MailAccountRow& row);
[[nodiscard]] AccountSummary dav_summary(AccountKind kind, const settings::accounts::DavAccount& account);
[[nodiscard]] AccountSummary nextcloud_summary(const settings::accounts::NextcloudAccount& account);

// The rows of one kind in list order.
[[nodiscard]] std::vector<AccountSummary> account_rows(const settings::accounts::AccountLists& lists, AccountKind kind);

// The five badge tones (the view maps them to theme colours); offline and "Sign in again" share tone C.
enum class Tone : std::uint8_t { Neutral, A, B, C, D };

struct Badge {
    std::string_view text;
    Tone tone = Tone::Neutral;
    bool operator==(const Badge&) const = default;
};

// "Disabled", "Not checked yet" (no status, or never), "Syncing", "Up to date", "Offline", "Sign in again",
// "Needs attention"; the first that holds.
[[nodiscard]] Badge account_badge(bool enabled, const settings::accounts::AccountSyncStatus* status);

// How long ago, from the age in seconds (negative counts as 0): "just now" below a minute, "{} min ago", "{} h ago",
// "{} d ago" (rounded down).
[[nodiscard]] std::string sync_age(std::int64_t age_seconds);

// "No application has reported a sync for this account." without a status; else "Last successful sync: {age}" or
// "Last successful sync: {age} · {message}", the age "never completed" without a last success.
[[nodiscard]] std::string account_detail(const settings::accounts::AccountSyncStatus* status, std::int64_t now_unix);

// ---- Page texts ---------------------------------------------------------------------------------------------------

namespace texts {
inline constexpr std::string_view introduction =
    "Connect email, calendars and files once, then use them in compatible apps. Account details and credentials "
    "stay on this device; they are never shared with a workspace or collaborators.";
inline constexpr std::string_view secret_service_unavailable =
    "The desktop Secret Service is unavailable, so this session uses an owner-only local vault key. Install or "
    "unlock a Secret Service for stronger key custody.";
inline constexpr std::string_view no_accounts = "You have no accounts yet. Use “Add” to connect your first account.";
inline constexpr std::string_view form_caption =
    "Required fields, the secure endpoint, and the credential are checked with a bounded protocol sign-in before "
    "anything is saved. Credentials and drafts stay device-local; they never enter collaboration state or account "
    "metadata.";
inline constexpr std::string_view reauth_title = "Replace saved password";
inline constexpr std::string_view reauth_account_label = "Account";
inline constexpr std::string_view reauth_credential_label = "Credential";
inline constexpr std::string_view reauth_password = "New password or app password";
inline constexpr std::string_view reauth_caption =
    "This replaces an existing password or app password in the OS account vault. OAuth authorization remains with "
    "the owning application.";
inline constexpr std::string_view removal_title = "Remove account?";
inline constexpr std::string_view display_name_label = "Display name";
inline constexpr std::string_view email_label = "Email address";
inline constexpr std::string_view username_label = "Username";
inline constexpr std::string_view login_name_label = "Login name";
inline constexpr std::string_view login_name_placeholder = "Username (defaults to your address)";
inline constexpr std::string_view server_label = "Server";
inline constexpr std::string_view password_label = "Password or app password";
inline constexpr std::string_view password_placeholder = "Password";
inline constexpr std::string_view identity_placeholder_dav = "Username or email";
inline constexpr std::string_view identity_placeholder_mail = "you@example.org";
inline constexpr std::string_view add_account = "Add account";
inline constexpr std::string_view save_account = "Save account";
inline constexpr std::string_view update_credential = "Update credential";
inline constexpr std::string_view cancel = "Cancel";
inline constexpr std::string_view remove_confirm = "Remove from this device";
inline constexpr std::string_view edit = "Edit";
inline constexpr std::string_view sign_in_again = "Sign in again";
inline constexpr std::string_view remove = "Remove";
}  // namespace texts

// "Add {label} account" or "Edit {label} account".
[[nodiscard]] std::string form_title(AccountKind kind, bool editing);
// The form's status line: the progress sentence alone while its check runs, else "Could not save: {status}".
[[nodiscard]] std::string form_status_line(std::string_view status, bool checking);
// The credential form's: the progress sentence alone while its check runs, else "Could not update credential: {}".
[[nodiscard]] std::string reauth_status_line(std::string_view status, bool checking);
// The removal confirmation's text with the row's name.
[[nodiscard]] std::string removal_text(std::string_view name);
// A removal that failed, shown on the page (not inside a form): "Could not remove the account: {}".
[[nodiscard]] std::string removal_failure_line(std::string_view message);
// The saved credentials cannot be read: "Saved credentials cannot be read: {}".
[[nodiscard]] std::string vault_failure_line(std::string_view message);
// The account list cannot be read: "The account list cannot be read: {}".
[[nodiscard]] std::string store_failure_line(std::string_view message);
// "No {label in lower case} accounts yet." ("No calendar (caldav) accounts yet.").
[[nodiscard]] std::string empty_kind_caption(AccountKind kind);
// The Test button: "Check server" for mail, "Verify sign-in" for the other kinds.
[[nodiscard]] std::string_view test_button_label(AccountKind kind);
// The identity row: "Email address" (mail) or "Username".
[[nodiscard]] std::string_view identity_label(AccountKind kind);
[[nodiscard]] std::string_view identity_placeholder(AccountKind kind);
// The server row's placeholder: mail "Detected from your email address"; CalDAV, WebDAV and Nextcloud an example
// HTTPS address (".../.well-known/caldav", ".../remote.php/dav/files/you/", the server).
[[nodiscard]] std::string_view server_placeholder(AccountKind kind);

// Text input kinds and button styles of the toolkit the view gives its controls.
namespace input_kind {
inline constexpr std::uint8_t display_name = 1;
inline constexpr std::uint8_t username = 3;  // the DAV identity and the mail login name
inline constexpr std::uint8_t email = 4;
inline constexpr std::uint8_t server_url = 5;
inline constexpr std::uint8_t password = 9;
}  // namespace input_kind
namespace button_style {
inline constexpr std::uint8_t save = 1;            // "Save account", "Update credential"
inline constexpr std::uint8_t add_and_cancel = 2;  // "Add account", the forms' "Cancel"
}  // namespace button_style

// ---- Control ids --------------------------------------------------------------------------------------------------

// The page-document keys the page's buttons set to true (the model reads and clears them).
namespace controls {
[[nodiscard]] std::string add(AccountKind kind);       // "settings.accounts.add.{slug}"
[[nodiscard]] std::string edit(std::string_view id);   // "settings.accounts.edit.{id}"
[[nodiscard]] std::string reauth(std::string_view id); // "settings.accounts.reauth.{id}"
[[nodiscard]] std::string remove(std::string_view id); // "settings.accounts.remove.{id}"
[[nodiscard]] std::string test(std::string_view id);   // "settings.accounts.test.{id}" (the application's Test)
inline constexpr std::string_view form_save = "settings.accounts.form.save";
inline constexpr std::string_view form_cancel = "settings.accounts.form.cancel";
inline constexpr std::string_view reauth_save = "settings.accounts.reauth.save";
inline constexpr std::string_view reauth_cancel = "settings.accounts.reauth.cancel";
inline constexpr std::string_view remove_confirm = "settings.accounts.remove.confirm";
inline constexpr std::string_view remove_cancel = "settings.accounts.remove.cancel";
// The ids of the text inputs.
inline constexpr std::string_view form_name = "accounts.form.name";
inline constexpr std::string_view form_identity = "accounts.form.identity";
inline constexpr std::string_view form_username = "accounts.form.username";
inline constexpr std::string_view form_server = "accounts.form.server";
inline constexpr std::string_view form_password = "accounts.form.password";
inline constexpr std::string_view reauth_password = "accounts.reauth.password";
}  // namespace controls

}  // namespace settings::panes::accounts
