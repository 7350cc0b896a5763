#include "accounts/records.hpp"

#include "account_registry/strict_json.hpp"

#include <algorithm>

namespace settings::accounts {
namespace {

struct KindText {
    std::string_view slug;
    std::string_view label;
    std::string_view type_id;
};

constexpr std::array<KindText, 4> kind_texts = {{
    {"mail", "Email", "email"},
    {"caldav", "Calendar (CalDAV)", "caldav"},
    {"webdav", "Files (WebDAV)", "webdav"},
    {"nextcloud", "Nextcloud", "nextcloud"},
}};

const KindText& text_of(AccountKind kind) { return kind_texts.at(static_cast<std::size_t>(kind)); }

using account_registry::refuse_repeated_fields;

// The vault's bytes: an array of integers 0 to 255, or null.
struct VaultBytes {
    std::optional<std::vector<std::uint8_t>> bytes;
};

json_text::Status read_value(const Json& v, VaultBytes& out)
{
    return json_text::read_value(v, out.bytes);
}

}  // namespace

std::string_view slug(AccountKind kind) { return text_of(kind).slug; }
std::string_view label(AccountKind kind) { return text_of(kind).label; }
std::string_view account_type_id(AccountKind kind) { return text_of(kind).type_id; }

std::optional<AccountKind> kind_from_slug(std::string_view text)
{
    for (const AccountKind kind : all_account_kinds) {
        if (slug(kind) == text) {
            return kind;
        }
    }
    return std::nullopt;
}

std::optional<AccountKind> kind_from_type_id(std::string_view text)
{
    for (const AccountKind kind : all_account_kinds) {
        if (account_type_id(kind) == text) {
            return kind;
        }
    }
    return std::nullopt;
}

void to_json(Json& out, const AccountConfig& record)
{
    out = Json::object();
    out["display_name"] = record.display_name;
    out["email"] = record.email;
    out["imap_host"] = record.imap_host;
    out["imap_port"] = record.imap_port;
    out["imap_tls"] = record.imap_tls;
    out["smtp_host"] = record.smtp_host;
    out["smtp_port"] = record.smtp_port;
    out["smtp_tls"] = record.smtp_tls;
    out["username"] = record.username;
}

void to_json(Json& out, const DavAccount& record)
{
    out = Json::object();
    out["id"] = record.id;
    out["label"] = record.label;
    out["base_url"] = record.base_url;
    out["username"] = record.username;
    out["enabled"] = record.enabled;
    out["tint"] = record.tint;
}

void to_json(Json& out, const NextcloudAccount& record)
{
    out = Json::object();
    out["id"] = record.id;
    out["label"] = record.label;
    out["server_url"] = record.server_url;
    out["username"] = record.username;
    out["use_files"] = record.use_files;
    out["use_calendar"] = record.use_calendar;
    out["use_mail"] = record.use_mail;
    out["enabled"] = record.enabled;
    out["tint"] = record.tint;
}

namespace {

template <class Store>
void legacy_store_to_json(Json& out, const Store& store)
{
    out = Json::object();
    out["version"] = store.version;
    Json accounts = Json::array();
    for (const auto& account : store.accounts) {
        accounts.push_back(Json(account));
    }
    out["accounts"] = std::move(accounts);
}

template <class Store>
json_text::Status read_legacy_store(const Json& v, Store& out, std::string_view name)
{
    if (auto ok = refuse_repeated_fields(v, {"version", "accounts"}); !ok) {
        return ok;
    }
    Store store;
    store.version = 1;
    json_text::RecordReader r(v, name, 2);
    r.defaulted("version", store.version).required("accounts", store.accounts);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = std::move(store);
    return {};
}

}  // namespace

void to_json(Json& out, const DavStore& record) { legacy_store_to_json(out, record); }
void to_json(Json& out, const NextcloudStore& record) { legacy_store_to_json(out, record); }

void to_json(Json& out, const AccountMutationJournal& record)
{
    out = Json::object();
    out["previous_store"] = Json(record.previous_store);
    out["previous_statuses"] = Json(record.previous_statuses);
    if (record.previous_vault_ciphertext) {
        Json bytes = Json::array();
        bytes.get_ref<Json::array_t&>().reserve(record.previous_vault_ciphertext->size());
        for (const std::uint8_t byte : *record.previous_vault_ciphertext) {
            bytes.push_back(byte);
        }
        out["previous_vault_ciphertext"] = std::move(bytes);
    } else {
        out["previous_vault_ciphertext"] = nullptr;
    }
}

json_text::Status read_value(const Json& v, AccountConfig& out)
{
    if (auto ok = refuse_repeated_fields(v, {"display_name", "email", "imap_host", "imap_port", "imap_tls",
                                             "smtp_host", "smtp_port", "smtp_tls", "username"});
        !ok) {
        return ok;
    }
    AccountConfig record;
    json_text::RecordReader r(v, "AccountConfig", 9);
    r.required("display_name", record.display_name)
        .required("email", record.email)
        .required("imap_host", record.imap_host)
        .required("imap_port", record.imap_port)
        .required("imap_tls", record.imap_tls)
        .required("smtp_host", record.smtp_host)
        .required("smtp_port", record.smtp_port)
        .required("smtp_tls", record.smtp_tls)
        .required("username", record.username);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = std::move(record);
    return {};
}

json_text::Status read_value(const Json& v, DavAccount& out)
{
    if (auto ok = refuse_repeated_fields(v, {"id", "label", "base_url", "username", "enabled", "tint"}); !ok) {
        return ok;
    }
    DavAccount record;
    json_text::RecordReader r(v, "DavAccount", 6);
    r.required("id", record.id)
        .required("label", record.label)
        .required("base_url", record.base_url)
        .required("username", record.username)
        .defaulted("enabled", record.enabled)
        .defaulted("tint", record.tint);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = std::move(record);
    return {};
}

json_text::Status read_value(const Json& v, NextcloudAccount& out)
{
    if (auto ok = refuse_repeated_fields(v, {"id", "label", "server_url", "username", "use_files", "use_calendar",
                                             "use_mail", "enabled", "tint"});
        !ok) {
        return ok;
    }
    NextcloudAccount record;
    json_text::RecordReader r(v, "NextcloudAccount", 9);
    r.required("id", record.id)
        .required("label", record.label)
        .required("server_url", record.server_url)
        .required("username", record.username)
        .defaulted("use_files", record.use_files)
        .defaulted("use_calendar", record.use_calendar)
        .defaulted("use_mail", record.use_mail)
        .defaulted("enabled", record.enabled)
        .defaulted("tint", record.tint);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = std::move(record);
    return {};
}

json_text::Status read_value(const Json& v, DavStore& out) { return read_legacy_store(v, out, "DavStore"); }

json_text::Status read_value(const Json& v, NextcloudStore& out)
{
    return read_legacy_store(v, out, "NextcloudStore");
}

json_text::Status read_value(const Json& v, AccountMutationJournal& out)
{
    if (auto ok = refuse_repeated_fields(v, {"previous_store", "previous_statuses", "previous_vault_ciphertext"});
        !ok) {
        return ok;
    }
    AccountMutationJournal record;
    VaultBytes vault;
    json_text::RecordReader r(v, "AccountMutationJournal", 3);
    r.required("previous_store", record.previous_store)
        .required("previous_statuses", record.previous_statuses)
        .defaulted("previous_vault_ciphertext", vault);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    record.previous_vault_ciphertext = std::move(vault.bytes);
    out = std::move(record);
    return {};
}

template <class R>
std::expected<R, std::string> decode_record(std::string_view text)
{
    return account_registry::decode_strict<R>(text);
}

template std::expected<AccountConfig, std::string> decode_record(std::string_view);
template std::expected<DavAccount, std::string> decode_record(std::string_view);
template std::expected<NextcloudAccount, std::string> decode_record(std::string_view);
template std::expected<DavStore, std::string> decode_record(std::string_view);
template std::expected<NextcloudStore, std::string> decode_record(std::string_view);
template std::expected<AccountMutationJournal, std::string> decode_record(std::string_view);
template std::expected<Account, std::string> decode_record(std::string_view);
template std::expected<AccountStore, std::string> decode_record(std::string_view);
template std::expected<AccountSyncStatus, std::string> decode_record(std::string_view);
template std::expected<AccountSyncStatusStore, std::string> decode_record(std::string_view);

std::string strip_url_scheme(std::string_view address)
{
    while (address.starts_with("https://")) {
        address.remove_prefix(8);
    }
    while (address.starts_with("http://")) {
        address.remove_prefix(7);
    }
    return std::string(address.substr(0, address.find('/')));
}

}  // namespace settings::accounts
