#pragma once
// The registry's records: accounts, the account store, and the sync status of each account.
//
// Stored form (compact JSON, members in the order below; the same encoding is embedded in the settings program's
// account mutation journal):
//   Account                 {"id","type_id","display_name","config","enabled","tint"[,"owner"]}
//   AccountStore            {"accounts":[Account...],"active":{type id: account id}}
//   AccountSyncStatus       {"health","last_attempt_unix","last_success_unix","message"}
//   AccountSyncStatusStore  {"statuses":{account id: AccountSyncStatus}}
// Reading ignores unknown members, refuses repeated field names, takes the documented defaults for absent members
// and also accepts the positional form (an array of the field values in field order).

#include "json_text/record.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace account_registry {

using Json = nlohmann::ordered_json;
using AccountId = std::string;
using AccountTypeId = std::string;

struct Account {
    AccountId id;
    AccountTypeId type_id;
    std::string display_name;
    Json config;  // the per-type settings; null when there are none
    bool enabled = true;
    std::uint8_t tint = 0;
    std::optional<std::string> owner;  // left out of the stored form when absent

    // A new record: empty display name, null config, enabled, tint 0, no owner.
    Account() = default;
    Account(AccountId id_, AccountTypeId type_id_) : id(std::move(id_)), type_id(std::move(type_id_)) {}

    bool operator==(const Account&) const = default;
};

struct AccountStore {
    std::vector<Account> accounts;                  // in store order
    std::map<AccountTypeId, AccountId> active;      // the active account of each type

    [[nodiscard]] const Account* get(std::string_view id) const;
    // Replaces the account with the same id in place, or appends it.
    void upsert(Account account);
    // Removes the account and any active entry naming it; false when there was none.
    bool remove(std::string_view id);
    // The accounts of one type, in store order.
    [[nodiscard]] std::vector<const Account*> list(std::string_view type_id) const;
    [[nodiscard]] std::optional<AccountId> active_id(std::string_view type_id) const;

    bool operator==(const AccountStore&) const = default;
};

enum class AccountSyncHealth : std::uint8_t { Never, Syncing, Healthy, Offline, NeedsAuthentication, Error };

// "never", "syncing", "healthy", "offline", "needs_authentication", "error".
[[nodiscard]] std::string_view health_name(AccountSyncHealth health);

struct AccountSyncStatus {
    AccountSyncHealth health = AccountSyncHealth::Never;
    std::optional<std::int64_t> last_attempt_unix;
    std::optional<std::int64_t> last_success_unix;
    std::optional<std::string> message;

    bool operator==(const AccountSyncStatus&) const = default;
};

struct AccountSyncStatusStore {
    std::map<AccountId, AccountSyncStatus> statuses;

    bool remove(std::string_view id);

    bool operator==(const AccountSyncStatusStore&) const = default;
};

// JSON values of the records (nlohmann's to_json convention) and strict reading (json_text's read_value
// convention, found by argument-dependent lookup).
void to_json(Json& out, const Account& account);
void to_json(Json& out, const AccountStore& store);
void to_json(Json& out, const AccountSyncHealth& health);
void to_json(Json& out, const AccountSyncStatus& status);
void to_json(Json& out, const AccountSyncStatusStore& store);

json_text::Status read_value(const Json& v, Account& out);
json_text::Status read_value(const Json& v, AccountStore& out);
json_text::Status read_value(const Json& v, AccountSyncHealth& out);
json_text::Status read_value(const Json& v, AccountSyncStatus& out);
json_text::Status read_value(const Json& v, AccountSyncStatusStore& out);

// The compact stored text and its strict reading (parse errors and record errors as texts).
[[nodiscard]] std::string encode_store(const AccountStore& store);
[[nodiscard]] std::string encode_statuses(const AccountSyncStatusStore& store);
[[nodiscard]] std::expected<AccountStore, std::string> decode_store(std::string_view text);
[[nodiscard]] std::expected<AccountSyncStatusStore, std::string> decode_statuses(std::string_view text);

}  // namespace account_registry
