#pragma once
// The account records of the External Accounts section and their stored JSON form.
//
// Every record is written as a compact JSON object with its members in the order below; reading ignores unknown
// members, refuses a field named twice ("duplicate field `id`") or missing ("missing field `id`"), takes the
// documented defaults, and accepts the positional form (an array of the values in field order).

#include "account_registry/records.hpp"

#include "json_text/record.hpp"

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::accounts {

using Json = nlohmann::ordered_json;
using account_registry::Account;
using account_registry::AccountStore;
using account_registry::AccountSyncHealth;
using account_registry::AccountSyncStatus;
using account_registry::AccountSyncStatusStore;

// The four kinds of online account, in the order of the page's forms, action ids and new ids (and of the kind
// codes 0 to 3 of the application's account operations).
enum class AccountKind : std::uint8_t { Mail, CalDav, WebDav, Nextcloud };

inline constexpr std::array<AccountKind, 4> all_account_kinds = {AccountKind::Mail, AccountKind::CalDav,
                                                                 AccountKind::WebDav, AccountKind::Nextcloud};

// "mail", "caldav", "webdav", "nextcloud".
[[nodiscard]] std::string_view slug(AccountKind kind);
// "Email", "Calendar (CalDAV)", "Files (WebDAV)", "Nextcloud".
[[nodiscard]] std::string_view label(AccountKind kind);
// The registry's type id of the kind's accounts: "email", "caldav", "webdav", "nextcloud".
[[nodiscard]] std::string_view account_type_id(AccountKind kind);
[[nodiscard]] std::optional<AccountKind> kind_from_slug(std::string_view slug);
// Note that mail accounts are stored with the type id "email", not their slug "mail".
[[nodiscard]] std::optional<AccountKind> kind_from_type_id(std::string_view type_id);

// The settings of a mail account (the config of an "email" account). All nine members are required.
struct AccountConfig {
    std::string display_name;
    std::string email;
    std::string imap_host;
    std::uint16_t imap_port = 0;
    bool imap_tls = false;
    std::string smtp_host;
    std::uint16_t smtp_port = 0;
    bool smtp_tls = false;
    std::string username;

    bool operator==(const AccountConfig&) const = default;
};

// A WebDAV account: a record of the legacy WebDAV list and the config of a "webdav" account (and the form in
// which CalDAV accounts are listed).
struct DavAccount {
    std::string id;
    std::string label;
    std::string base_url;
    std::string username;
    bool enabled = true;
    std::uint8_t tint = 0;

    bool operator==(const DavAccount&) const = default;
};

// A Nextcloud account: a record of the legacy Nextcloud list and the config of a "nextcloud" account.
struct NextcloudAccount {
    std::string id;
    std::string label;
    std::string server_url;
    std::string username;
    bool use_files = true;
    bool use_calendar = true;
    bool use_mail = true;
    bool enabled = true;
    std::uint8_t tint = 0;

    bool operator==(const NextcloudAccount&) const = default;
};

// The legacy account lists "files/accounts.json" and "nextcloud/accounts.json". "version" is 1 when absent;
// the empty store that stands for a missing or unreadable file has version 0.
struct DavStore {
    std::uint32_t version = 0;
    std::vector<DavAccount> accounts;

    bool operator==(const DavStore&) const = default;
};

struct NextcloudStore {
    std::uint32_t version = 0;
    std::vector<NextcloudAccount> accounts;

    bool operator==(const NextcloudStore&) const = default;
};

// The content of "mutation-journal.json": the three account stores as they were before a change. The vault file's
// bytes are kept exactly as they were on disk (still encrypted), or none when there was no vault file.
struct AccountMutationJournal {
    AccountStore previous_store;
    AccountSyncStatusStore previous_statuses;
    std::optional<std::vector<std::uint8_t>> previous_vault_ciphertext;

    bool operator==(const AccountMutationJournal&) const = default;
};

void to_json(Json& out, const AccountConfig& record);
void to_json(Json& out, const DavAccount& record);
void to_json(Json& out, const NextcloudAccount& record);
void to_json(Json& out, const DavStore& record);
void to_json(Json& out, const NextcloudStore& record);
void to_json(Json& out, const AccountMutationJournal& record);

json_text::Status read_value(const Json& v, AccountConfig& out);
json_text::Status read_value(const Json& v, DavAccount& out);
json_text::Status read_value(const Json& v, NextcloudAccount& out);
json_text::Status read_value(const Json& v, DavStore& out);
json_text::Status read_value(const Json& v, NextcloudStore& out);
json_text::Status read_value(const Json& v, AccountMutationJournal& out);

// The compact text of a record.
template <class R>
[[nodiscard]] std::string encode_record(const R& record)
{
    return json_text::compact(Json(record));
}

// Reads a record from its stored text: one JSON value and nothing after it, read strictly (see above).
template <class R>
[[nodiscard]] std::expected<R, std::string> decode_record(std::string_view text);

// Puts the record, as its JSON value, into the account's config in place of the old value.
template <class R>
void store_serialized_value(Account& account, const R& record)
{
    account.config = Json(record);
}

// The account's config read as a record; none when it does not read as one. The config stays as it is.
template <class R>
[[nodiscard]] std::optional<R> decode_config_value(const Json& config)
{
    R record{};
    if (!read_value(config, record)) {
        return std::nullopt;
    }
    return record;
}

// The host part of a server address: every leading "https://" removed, then every leading "http://", then cut
// before the first "/".
[[nodiscard]] std::string strip_url_scheme(std::string_view address);

extern template std::expected<AccountConfig, std::string> decode_record(std::string_view);
extern template std::expected<DavAccount, std::string> decode_record(std::string_view);
extern template std::expected<NextcloudAccount, std::string> decode_record(std::string_view);
extern template std::expected<DavStore, std::string> decode_record(std::string_view);
extern template std::expected<NextcloudStore, std::string> decode_record(std::string_view);
extern template std::expected<AccountMutationJournal, std::string> decode_record(std::string_view);
extern template std::expected<Account, std::string> decode_record(std::string_view);
extern template std::expected<AccountStore, std::string> decode_record(std::string_view);
extern template std::expected<AccountSyncStatus, std::string> decode_record(std::string_view);
extern template std::expected<AccountSyncStatusStore, std::string> decode_record(std::string_view);

}  // namespace settings::accounts
