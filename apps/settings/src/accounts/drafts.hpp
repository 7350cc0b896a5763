#pragma once
// The add/edit form of the External Accounts page turned into an account draft: the inputs validated in a fixed
// order (every rule has one sentence), the account record to store and the credential to put into the vault.
//
//   auto draft = save_account_draft(paths, AccountKind::CalDav, {}, {}, {
//       .display_name = "Work calendar", .identity = "ada", .server_url = "https://dav.example.org/",
//       .password = password_view});
//   if (!draft) show(draft.error());   // "enter a valid server URL", ...
//
// Reading the account store or the vault that fails stops the draft with its sentence; nothing is written.

#include "accounts/paths.hpp"
#include "accounts/records.hpp"

#include "account_registry/secret.hpp"

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace settings::accounts {

// The form's inputs as submitted. The identity is the email address for Mail and the user name for the other
// kinds; `username` is the mail form's login name (unused by the other kinds), `server_url` the DAV kinds' server.
struct DraftInputs {
    std::string_view display_name;
    std::string_view identity;
    std::string_view username;
    std::string_view server_url;
    std::string_view password;  // a view into locked memory; never copied into a std::string
};

// The account to upsert and the credential to keep under its id.
struct AccountDraft {
    Account account;
    account_registry::SecretString secret;
};

// The sentences of the validation, in the order of the checks.
namespace draft_sentences {
inline constexpr std::string_view display_name = "enter a display name";
inline constexpr std::string_view email = "enter an email address";
inline constexpr std::string_view username = "enter a username";
inline constexpr std::string_view server_url = "enter a valid server URL";
inline constexpr std::string_view https = "use an HTTPS server URL (localhost HTTP is allowed in development)";
inline constexpr std::string_view url_credentials = "remove credentials from the server URL";
inline constexpr std::string_view valid_email = "enter a valid email address";
inline constexpr std::string_view password = "enter a password or app password";
inline constexpr std::string_view no_longer_exists = "account no longer exists";
inline constexpr std::string_view type_changed = "account type changed; refresh Settings and try again";
inline constexpr std::string_view already_configured = "this account is already configured";
inline constexpr std::string_view email_settings = "could not prepare email settings";
inline constexpr std::string_view no_credential = "this account has no saved credential; enter one";
}  // namespace draft_sentences

// Validates the inputs and builds the draft (reads the account store and the vault; writes nothing):
//  1 trimmed display name non-empty; 2 trimmed identity non-empty; 3 DAV kinds: the server URL trimmed, every
//  trailing "/" removed, parsed, scheme exactly "https", no user name or password inside; Mail: the email holds "@"
//  and no white space; 4 a new account needs a password; 5 the id: the editing id, else the reserved id, else a
//  new one (new_account_id); 6 editing: the stored account of the same type (its other settings kept); new: no
//  account with that id yet; 7-8 display name and the kind's config members merged into the config; 9 the trimmed
//  password, or for an edit with an empty password the saved credential.
// Besides the sentences above: "could not read account store: {}", "could not open credential vault: {}".
[[nodiscard]] std::expected<AccountDraft, std::string> save_account_draft(const AccountPaths& paths, AccountKind kind,
                                                                          std::optional<std::string_view> editing_id,
                                                                          std::optional<std::string_view> reserved_id,
                                                                          const DraftInputs& inputs);

// Fills the server names of a new mail account from its email domain: a user name that is empty becomes the whole
// address, an empty display name the local part; four well-known providers get their servers, any other domain
// "imap.<domain>" and "smtp.<domain>" (the domain's ASCII letters lowered). Ports and TLS flags stay. Without "@"
// nothing changes.
void mail_provider_preset(AccountConfig& config);

// The id of a new account: for Mail the trimmed email address with ASCII letters lowered; for the other kinds the
// kind's slug, "-" and a random (version 4) UUID in lower case ("caldav-3f2b…").
[[nodiscard]] std::string new_account_id(AccountKind kind, std::string_view email);

}  // namespace settings::accounts
