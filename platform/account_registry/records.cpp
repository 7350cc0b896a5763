#include "account_registry/records.hpp"

#include "account_registry/strict_json.hpp"

#include <algorithm>
#include <array>

namespace account_registry {
namespace {

constexpr std::array<std::string_view, 6> health_names = {"never",   "syncing",
                                                          "healthy", "offline",
                                                          "needs_authentication", "error"};

// Any JSON value, kept as it is (the account's config).
struct AnyValue {
    Json value;
};

json_text::Status read_value(const Json& v, AnyValue& out)
{
    out.value = v;
    return {};
}

}  // namespace

const Account* AccountStore::get(std::string_view id) const
{
    const auto found = std::ranges::find(accounts, id, &Account::id);
    return found == accounts.end() ? nullptr : &*found;
}

void AccountStore::upsert(Account account)
{
    const auto found = std::ranges::find(accounts, account.id, &Account::id);
    if (found != accounts.end()) {
        *found = std::move(account);
    } else {
        accounts.push_back(std::move(account));
    }
}

bool AccountStore::remove(std::string_view id)
{
    const auto found = std::ranges::find(accounts, id, &Account::id);
    if (found == accounts.end()) {
        return false;
    }
    accounts.erase(found);
    std::erase_if(active, [&](const auto& entry) { return entry.second == id; });
    return true;
}

std::vector<const Account*> AccountStore::list(std::string_view type_id) const
{
    std::vector<const Account*> out;
    for (const Account& account : accounts) {
        if (account.type_id == type_id) {
            out.push_back(&account);
        }
    }
    return out;
}

std::optional<AccountId> AccountStore::active_id(std::string_view type_id) const
{
    const auto found = active.find(std::string(type_id));
    if (found == active.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool AccountSyncStatusStore::remove(std::string_view id) { return statuses.erase(std::string(id)) > 0; }

std::string_view health_name(AccountSyncHealth health) { return health_names.at(static_cast<std::size_t>(health)); }

void to_json(Json& out, const Account& account)
{
    out = Json::object();
    out["id"] = account.id;
    out["type_id"] = account.type_id;
    out["display_name"] = account.display_name;
    out["config"] = account.config;
    out["enabled"] = account.enabled;
    out["tint"] = account.tint;
    if (account.owner) {
        out["owner"] = *account.owner;
    }
}

void to_json(Json& out, const AccountStore& store)
{
    out = Json::object();
    Json accounts = Json::array();
    for (const Account& account : store.accounts) {
        accounts.push_back(Json(account));
    }
    out["accounts"] = std::move(accounts);
    Json active = Json::object();
    for (const auto& [type_id, id] : store.active) {
        active[type_id] = id;
    }
    out["active"] = std::move(active);
}

void to_json(Json& out, const AccountSyncHealth& health) { out = std::string(health_name(health)); }

void to_json(Json& out, const AccountSyncStatus& status)
{
    out = Json::object();
    out["health"] = Json(status.health);
    out["last_attempt_unix"] = json_text::value_or_null(status.last_attempt_unix);
    out["last_success_unix"] = json_text::value_or_null(status.last_success_unix);
    out["message"] = json_text::value_or_null(status.message);
}

void to_json(Json& out, const AccountSyncStatusStore& store)
{
    out = Json::object();
    Json statuses = Json::object();
    for (const auto& [id, status] : store.statuses) {
        statuses[id] = Json(status);
    }
    out["statuses"] = std::move(statuses);
}

json_text::Status read_value(const Json& v, Account& out)
{
    if (auto ok = refuse_repeated_fields(v, {"id", "type_id", "display_name", "config", "enabled", "tint", "owner"});
        !ok) {
        return ok;
    }
    Account account;
    AnyValue config{Json(nullptr)};
    json_text::RecordReader r(v, "Account", 7);
    r.required("id", account.id)
        .required("type_id", account.type_id)
        .defaulted("display_name", account.display_name)
        .defaulted("config", config)
        .defaulted("enabled", account.enabled)
        .defaulted("tint", account.tint)
        .defaulted("owner", account.owner);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    account.config = std::move(config.value);
    out = std::move(account);
    return {};
}

json_text::Status read_value(const Json& v, AccountStore& out)
{
    if (auto ok = refuse_repeated_fields(v, {"accounts", "active"}); !ok) {
        return ok;
    }
    AccountStore store;
    json_text::RecordReader r(v, "AccountStore", 2);
    r.defaulted("accounts", store.accounts).defaulted("active", store.active);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = std::move(store);
    return {};
}

json_text::Status read_value(const Json& v, AccountSyncHealth& out)
{
    return json_text::read_enum(v, out, std::span<const std::string_view>(health_names));
}

json_text::Status read_value(const Json& v, AccountSyncStatus& out)
{
    if (auto ok = refuse_repeated_fields(v, {"health", "last_attempt_unix", "last_success_unix", "message"}); !ok) {
        return ok;
    }
    AccountSyncStatus status;
    json_text::RecordReader r(v, "AccountSyncStatus", 4);
    r.required("health", status.health)
        .defaulted("last_attempt_unix", status.last_attempt_unix)
        .defaulted("last_success_unix", status.last_success_unix)
        .defaulted("message", status.message);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = std::move(status);
    return {};
}

json_text::Status read_value(const Json& v, AccountSyncStatusStore& out)
{
    if (auto ok = refuse_repeated_fields(v, {"statuses"}); !ok) {
        return ok;
    }
    AccountSyncStatusStore store;
    json_text::RecordReader r(v, "AccountSyncStatusStore", 1);
    r.defaulted("statuses", store.statuses);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = std::move(store);
    return {};
}

std::string encode_store(const AccountStore& store) { return json_text::compact(Json(store)); }

std::string encode_statuses(const AccountSyncStatusStore& store) { return json_text::compact(Json(store)); }

std::expected<AccountStore, std::string> decode_store(std::string_view text)
{
    return decode_strict<AccountStore>(text);
}

std::expected<AccountSyncStatusStore, std::string> decode_statuses(std::string_view text)
{
    return decode_strict<AccountSyncStatusStore>(text);
}

}  // namespace account_registry
