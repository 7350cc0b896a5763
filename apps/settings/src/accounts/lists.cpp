#include "accounts/lists.hpp"

#include "account_registry/registry.hpp"
#include "vorn_log/log.hpp"

#include <algorithm>

#include <sys/stat.h>

namespace settings::accounts {
namespace {

constexpr std::string_view import_marker_name = "legacy-settings-import-v1";
constexpr std::string_view import_marker_text = "imported\n";

// A legacy list; the empty store (version 0) when the path cannot be formed or the file is missing, unreadable or
// not a valid list.
template <class Store>
Store read_legacy_list(const std::optional<std::filesystem::path>& path)
{
    if (!path) {
        return {};
    }
    auto text = account_registry::files::read(*path);
    if (!text || !*text) {
        return {};
    }
    auto store = decode_record<Store>(**text);
    return store ? std::move(*store) : Store{};
}

std::string text_member(const Json& config, const char* name)
{
    if (config.is_object()) {
        const auto found = config.find(name);
        if (found != config.end() && found->is_string()) {
            return found->get<std::string>();
        }
    }
    return {};
}

}  // namespace

bool AccountLists::is_empty() const
{
    return mail.rows.empty() && caldav.accounts.empty() && webdav.accounts.empty() && nextcloud.accounts.empty();
}

AccountLists account_lists_from_store(const AccountStore& store)
{
    AccountLists lists;
    for (const Account* account : store.list(account_type_id(AccountKind::Mail))) {
        if (auto config = decode_config_value<AccountConfig>(account->config)) {
            lists.mail.rows.push_back(MailAccountRow{
                .id = account->id, .config = std::move(*config), .dirty = false, .tint = account->tint});
        }
    }
    if (const auto active = store.active_id(account_type_id(AccountKind::Mail))) {
        const auto found = std::ranges::find(lists.mail.rows, *active, &MailAccountRow::id);
        lists.mail.active =
            found == lists.mail.rows.end() ? 0 : static_cast<std::size_t>(found - lists.mail.rows.begin());
    }
    for (const Account* account : store.list(account_type_id(AccountKind::CalDav))) {
        lists.caldav.accounts.push_back(DavAccount{.id = account->id,
                                                   .label = account->display_name,
                                                   .base_url = text_member(account->config, "server_url"),
                                                   .username = text_member(account->config, "username"),
                                                   .enabled = account->enabled,
                                                   .tint = account->tint});
    }
    for (const Account* account : store.list(account_type_id(AccountKind::WebDav))) {
        if (auto record = decode_config_value<DavAccount>(account->config)) {
            record->id = account->id;
            record->label = account->display_name;
            record->enabled = account->enabled;
            record->tint = account->tint;
            lists.webdav.accounts.push_back(std::move(*record));
        }
    }
    for (const Account* account : store.list(account_type_id(AccountKind::Nextcloud))) {
        if (auto record = decode_config_value<NextcloudAccount>(account->config)) {
            record->id = account->id;
            record->label = account->display_name;
            record->enabled = account->enabled;
            record->tint = account->tint;
            lists.nextcloud.accounts.push_back(std::move(*record));
        }
    }
    return lists;
}

bool merge_legacy_account(AccountStore& store, const DavStore& webdav, const NextcloudStore& nextcloud)
{
    const std::size_t before = store.accounts.size();
    const auto add = [&](const auto& record, AccountKind kind) {
        if (store.get(record.id) != nullptr) {
            return;
        }
        Account account(record.id, std::string(account_type_id(kind)));
        account.display_name = record.label;
        account.enabled = record.enabled;
        account.tint = record.tint;
        store_serialized_value(account, record);
        store.upsert(std::move(account));
    };
    for (const DavAccount& record : webdav.accounts) {
        add(record, AccountKind::WebDav);
    }
    for (const NextcloudAccount& record : nextcloud.accounts) {
        add(record, AccountKind::Nextcloud);
    }
    return store.accounts.size() != before;
}

AccountLists AccountPaths::load_store_with_legacy_import() const
{
    recover_interrupted_mutation();

    const auto r = config_root();
    if (!r) {
        return account_lists_from_store({});
    }
    auto loaded = try_load_store();
    if (!loaded) {
        // Importing into a store that cannot be read would write a store of the imported accounts alone over it.
        VORN_WARN("account_store_load", "could not load the account store; the legacy import waits: {}",
                  loaded.error());
        return account_lists_from_store({});
    }
    AccountStore store = std::move(*loaded);

    const auto marker = account_registry::accounts_dir_in(*r) / import_marker_name;
    struct stat marker_stat {};
    if (::stat(marker.c_str(), &marker_stat) != 0) {
        const auto webdav = read_legacy_list<DavStore>(config_file("files/accounts.json"));
        const auto nextcloud = read_legacy_list<NextcloudStore>(config_file("nextcloud/accounts.json"));
        bool mark = true;
        if (merge_legacy_account(store, webdav, nextcloud)) {
            if (auto saved = save_store(store); !saved) {
                VORN_WARN("legacy_account_import", "could not persist imported legacy accounts: {}", saved.error());
                mark = false;  // the import runs again at the next load
            }
        }
        if (mark) {
            if (auto written = account_registry::files::write(marker, import_marker_text); !written) {
                VORN_WARN("legacy_account_import", "could not mark legacy account import complete: {}",
                          written.error());
            }
        }
    }
    return account_lists_from_store(store);
}

}  // namespace settings::accounts
